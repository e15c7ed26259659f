// The polyphonic character chooser: the text with the character in red, and its readings.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "pinyin/chooser.h"
#include "pinyin/words.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace gui {

/// Call load() with the question, then exec(). The window closes only through
/// an answer: the button "选择", a double-click on a reading, Enter, or one of the three buttons
/// that also say how the rest of the run goes. Escape and close requests are refused (the hint
/// line says what is needed), so a reading is always handed back.
///
/// "记住此读音" remembers a word of two characters or more (the characters marked, else the word
/// the phrase data found); with nothing longer than the character itself it is disabled, its
/// tooltip says why.
class ReadingChooser final : public QDialog {
    Q_OBJECT
public:
    /// How the rest of the run is to go, besides the reading chosen now.
    enum class Then {
        Ask,        ///< "选择": ask again at the next polyphonic character
        SameInRun,  ///< "本次都用此读音": this character takes this reading for the rest of the run
        AutoRest,   ///< "其余自动": the rest of the run as the phrase mode reads it
        Stop,       ///< "停止处理": end the run once the current record is done
    };

    /// What the chooser asks about.
    struct Question {
        QString readings;        ///< every reading, single spaces between
        QString character;       ///< the character
        QString text;            ///< the whole text being romanised
        int position = 0;        ///< 1-based position of the character in `text`, in UTF-16 code units
        int suggested = 0;       ///< index of the reading to preselect among the listed ones
        bool lowerCase = false;  ///< list the readings in lower case (the answer stays as stored)
        QString where;  ///< where the question comes from ("第 3 条记录 200 字段 001: ..."); may be empty
        QString word;    ///< the word around the character that the phrase data found, marked at load
        int wordAt = 0;  ///< 1-based position of its first character in `text`, in UTF-16 code units
    };

    explicit ReadingChooser(QWidget* parent = nullptr);

    /// Fills the window from `question`: the character, the non-empty readings in stored order,
    /// the text with the character at `position` in red (nothing red when it is outside the
    /// text), scrolled so the character shows.
    void load(const Question& question);
    const Question& question() const { return q_; }

    /// The reading handed back (as stored in the question's readings), once the user has chosen.
    const std::optional<QString>& choice() const { return choice_; }
    Then then() const { return then_; }
    /// Whether "记住此读音" is ticked: the word around the character goes into the word list.
    bool remember() const;
    /// The characters of the text marked as that word, 1-based UTF-16 positions, both included;
    /// {0, 0} when nothing is marked.
    std::pair<int, int> marked() const;

    /// The readings `readings` lists, split as the core splits them (pinyin::splitReadings).
    static QStringList readingsOf(const QString& readings);

public slots:
    void reject() override;

private:
    // The events Qt hands the window (nothing derives from it, so they stay private).
    /// Shown: the character in question scrolled into view and its reading preselected.
    void showEvent(QShowEvent* event) override;
    /// Resized: the character in question kept in view.
    void resizeEvent(QResizeEvent* event) override;
    /// Closed only once a reading is chosen: the run waits for one.
    void closeEvent(QCloseEvent* event) override;
    /// Activated again: the reading preselected again.
    bool event(QEvent* event) override;

    void buildControls();
    void layOut();
    void connectActions();
    void preselect();
    void choose(Then then);
    void scrollToCharacter();
    /// Enables "记住此读音" for what it would remember now.
    void updateRemember();
    void hint();

    QLabel* whereLabel_;
    QLabel* positionLabel_;  // which character of the text is asked about
    QLabel* hintLabel_;      // what closing needs
    QTextEdit* textView_;
    QListWidget* readingList_;
    QLabel* characterLabel_;
    QPushButton* chooseButton_;
    QPushButton* sameInRunButton_;
    QPushButton* autoRestButton_;
    QPushButton* stopButton_;
    QCheckBox* rememberBox_;
    Question q_;
    std::optional<QString> choice_;
    Then then_ = Then::Ask;
    bool preselected_ = false;
};

/// The lookup's questions answered in ReadingChooser, shown modally without an owner. `onChosen` hears
/// every reading handed back (the main window keeps it as its last reading); `onRemember` every word
/// list entry the user asks to remember (the main window writes it to its file).
///
/// A run's answers that reach past one question live here: the readings to take again without
/// asking, "the rest automatic", and the request to stop. beginRun() forgets them.
class DialogChooser final : public pinyin::Chooser {
public:
    explicit DialogChooser(std::function<void(const std::string&)> onChosen = {},
                           std::function<void(const pinyin::WordEntry&)> onRemember = {});
    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;

    /// Forgets the answers of the run before (called when a run starts and when it ends).
    void beginRun();
    void setLowerCase(bool lower) { lowerCase_ = lower; }
    /// Where the next questions come from, shown above the text.
    void setWhere(QString where) { where_ = std::move(where); }
    /// "停止处理" was pressed: the run should end after the current record.
    bool stopRequested() const { return stop_; }
    /// Questions the user saw in this run.
    int asked() const { return asked_; }

private:
    std::function<void(const std::string&)> onChosen_;
    std::map<std::string, std::string> sameInRun_;  // word and character, or character -> reading
    bool automatic_ = false;
    bool stop_ = false;
    bool lowerCase_ = false;
    int asked_ = 0;
    QString where_;
    std::function<void(const pinyin::WordEntry&)> onRemember_;
};

}  // namespace gui
