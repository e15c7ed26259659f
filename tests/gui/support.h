// What the window tests share: small record files and a py.db, and an answering machine for the
// modal windows a test opens.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

/// Adds a row named `name` to the data of the test function being set up, one value per column
/// in the columns' order (a string literal goes into a QString column).
template <typename... Values>
void row(const char* name, Values... values) {
    (QTest::newRow(name) << ... << values);
}

/// Checks that the QString `text` holds `part`; a failure shows the whole text.
#define QVERIFY_HOLDS(text, part) QVERIFY2((text).contains(part), qPrintable(text))

/// Writes a py.db at `path` with table PinYin(hz, Py1) holding `rows` (hz, Py1), in order.
void makePyDb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rows);
/// A working record with fields 001, 005, 100, 101 and one 200 whose subfield a is `title`.
std::string workingRecord(const std::string& id, const std::string& title);
/// Writes each working record as one GBK ISO 2709 record followed by CR LF; an entry that starts
/// with '\0' is written as the bytes after it.
void writeRecordFile(const std::string& path, const std::vector<std::string>& workingRecords);
/// Writes one working record per title (001 r1, r2, ...) as writeRecordFile does; returns `path`.
std::string writeTitles(const std::string& path, const std::vector<std::string>& titles);
/// The working record texts of every record in the GBK ISO 2709 file at `path`.
std::vector<std::string> readRecordFile(const std::string& path);
/// Empty when the GBK ISO 2709 file at `path` holds as many records as `parts` and record i holds
/// parts[i] ("" holds anything); else what differs, with the records.
QString recordsDiffer(const std::string& path, const std::vector<std::string>& parts);
/// The whole file as bytes; empty when it does not exist.
std::string slurp(const std::string& path);

/// Points the window's settings at a file of the test's own, emptied: every window a test makes
/// starts from the defaults, and the user's settings are never touched.
void freshSettings();

/// Shows `w` and waits until it is on the screen; false when it never gets there.
bool shown(QWidget& w);
/// Marks the characters [from, to) of the chooser's text, as the user does with the mouse.
void markText(QWidget* chooser, int from, int to);

/// The positions (0-based) of the chooser's text whose character is drawn in pure red.
QList<int> redPositions(QWidget* chooser);

/// What a message box showed.
struct BoxSeen {
    QString title, text;
    int icon = -1;          ///< QMessageBox::Icon
    QStringList buttons;    ///< the button texts, as translated
    int defaultButton = 0;  ///< the QMessageBox::StandardButton Enter presses
};

/// What the one message box `act` opens showed, answered with `button` (Ok by default);
/// `surprises` names what went otherwise: no box, other modal windows, the deadline.
struct OneBox : BoxSeen {
    QStringList surprises;
};
OneBox answerOneBox(const std::function<void()>& act, int button = 0x400, int deadlineMs = 30000);

/// Polls for the active modal window and hands it to the next step. A modal window with no step
/// left is closed and logged as unexpected; after the deadline every modal window is closed, so
/// a test with a wrong expectation fails instead of hanging.
class ModalScript {
public:
    using Step = std::function<void(QWidget* modal)>;
    explicit ModalScript(int deadlineMs = 30000);
    void then(Step step) { steps_.push_back(std::move(step)); }
    /// A step that records a message box and presses `button` (a QMessageBox::StandardButton).
    static Step answerBox(int button, BoxSeen* seen = nullptr);

    std::size_t stepsLeft() const { return steps_.size(); }
    const QStringList& unexpected() const { return unexpected_; }
    bool timedOut() const { return timedOut_; }
    /// "timed out" when the deadline passed, then every modal window no step expected, then the
    /// steps no window came for: empty when the script ran as written.
    QStringList surprises() const;

private:
    void poll();
    std::deque<Step> steps_;
    QPointer<QWidget> handled_;
    QStringList unexpected_;
    QTimer poller_, deadline_;
    bool timedOut_ = false;
};

}  // namespace guitest
