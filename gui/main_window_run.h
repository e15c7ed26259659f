// The run as the main window follows it; included by main_window.cpp only.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/batch.h"
#include "main_window.h"
#include "pinyin/chooser.h"
#include "text/working_line.h"

namespace gui {

/// The progress bar's range: tenths of a percent of the input read.
inline constexpr int kBarSteps = 1000;

// What the window hears of a run: the count in the caption and beside the progress bar, the
// share of the input read, whether any record holds a listed field, and passes of the event
// loop between records (the user may leave; the controls that decide the output are locked).
//
// The count and the bar follow the run at most every kCaptionMs: on a real X server every
// caption change is a round of window-system work, which would make a run of 100,000 short
// records several times slower than the command line, and no screen shows more changes than
// that anyway. What the user can read is exact whenever it stands still: at the first record,
// whenever the chooser asks, at the close question, and at the end (the start button's handler
// sets the final count).
class MainWindow::Run final : public app::BatchObserver, public pinyin::Chooser {
public:
    /// `settings`: the copy the run uses, which outlives it.
    Run(MainWindow& window, const pinyin::RunSettings& settings) : window_(window), settings_(settings) {}

    void started(app::RunControl& run) override { control_ = &run; }

    void recordStarted(std::int64_t number, std::string_view working) override {
        number_ = number;
        working_ = working;
        // Until the first listed field turns up; after that it costs nothing.
        if (!foundListed_) foundListed_ = holdsListedField(working, settings_.tagList);
    }

    /// Some record read so far holds a field of the tag list.
    bool foundListed() const { return foundListed_; }

    void recordDone(std::int64_t count) override {
        count_ = count;
        working_ = {};
        if (shown_ == 0 || clock_.hasExpired(kCaptionMs)) showCount();
    }

    void recordsWritten(std::int64_t written) override { written_ = written; }

    void progress(std::uint64_t done, std::uint64_t total) override {
        done_ = done;
        total_ = total;
    }

    // The event loop runs after the first record and then every kYieldMs: a pass after every
    // record costs a round with the X server each time, about a third of the command line's
    // time for short records, and a hundred passes a second keep the window as responsive.
    bool yieldPoint() override {
        if (!yielded_ || yieldClock_.hasExpired(kYieldMs)) {
            QCoreApplication::processEvents();
            yieldClock_.start();
            yielded_ = true;
        }
        return !window_.quitRequested_ && !window_.chooser_.stopRequested();
    }

    pinyin::Chooser* chooser() override { return this; }

    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override {
        showCount();
        window_.chooser_.setLowerCase(settings_.letterCase == pinyin::LetterCase::Lower);
        window_.chooser_.setWhere(where(request.tag, request.subfield));
        return window_.chooser_.choose(request);
    }

    /// Records in the output: the run writes them in large pieces, so those it has gathered
    /// are written first.
    std::int64_t written() {
        if (control_) control_->writeOut();
        return written_;
    }

    void showCount() {
        if (count_ != shown_) window_.setCount(count_);
        shown_ = count_;
        if (total_ > 0) window_.progress_->setValue(static_cast<int>(done_ * kBarSteps / total_));
        clock_.start();
    }

private:
    static constexpr qint64 kCaptionMs = 40;
    static constexpr qint64 kYieldMs = 10;

    QString where(const std::string& tag, char subfield) const {
        QString text = QStringLiteral("第 %1 条记录").arg(number_);
        if (!tag.empty())
            text += QStringLiteral("　%1 字段 $%2 子字段")
                        .arg(QString::fromStdString(tag), QChar::fromLatin1(subfield));
        const std::string_view id = controlNumber(working_);
        if (!id.empty()) text += QStringLiteral("　001：%1").arg(QString::fromUtf8(id.data(), id.size()));
        return text;
    }

    // Whether a line of the working record has a tag the list holds, matched as the annotation
    // matches it: the line's first three characters, found in the list as text.
    static bool holdsListedField(std::string_view working, std::string_view tagList) {
        for (const std::string_view line : text::linesOf(working)) {
            const std::string_view tag = line.substr(0, 3);
            if (tag.size() == 3 && tag.find_first_not_of(' ') != std::string_view::npos &&
                tagList.find(tag) != std::string_view::npos)
                return true;
        }
        return false;
    }

    // The data of the record's 001 line, without the spaces between tag and data.
    static std::string_view controlNumber(std::string_view working) {
        for (std::string_view line : text::linesOf(working)) {
            if (line.starts_with("001")) {
                line.remove_prefix(3);
                while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
                return line;
            }
        }
        return {};
    }

    MainWindow& window_;
    const pinyin::RunSettings& settings_;
    bool foundListed_ = false;
    app::RunControl* control_ = nullptr;
    std::int64_t number_ = 0;
    std::string_view working_;
    std::int64_t count_ = 0;
    std::int64_t shown_ = 0;
    std::int64_t written_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    QElapsedTimer clock_;
    QElapsedTimer yieldClock_;
    bool yielded_ = false;
};

}  // namespace gui
