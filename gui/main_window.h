// The main window: the two paths, the tag list, the run settings, start and exit.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "reading_chooser.h"
#include "pinyin/settings.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace app {
struct BatchOptions;
struct BatchResult;
struct ReviewAnswers;
}  // namespace app
namespace pinyin {
class PinyinTable;
class Romaniser;
class UserWords;
struct WordEntry;
}  // namespace pinyin

namespace gui {

class LinkLabel;
class TagBox;

/// The window's own caption, which a run's count replaces until the next run starts.
inline constexpr const char* kProgramTitle = "MARC批加拼音(Ostrel)";

/// The address the link label opens: the romanisation rules the pinyin follows, ALA-LC's Chinese table.
inline constexpr const char* kLinkText = "汉语拼音罗马化规则(ALA-LC)";
inline constexpr const char* kLinkAddress = "https://www.loc.gov/catdir/cpso/romanization/chinese.pdf";

/// The controls say what the next run does; at each press of the start button the window takes
/// a copy of them (settings()) and the run keeps that copy to its end, while every control that
/// decides the output is locked. Every control carries an object name that says what it is
/// ("InputPath", "ByWords"), by which tests and screenshots find it.
///
/// The paths, the tag list and every option are kept between sessions (store.h): read when the
/// window is made, written when a run starts, when the window closes and when it is destroyed.
/// So is where a stopped run ended: the next start on the same input and output offers to go on
/// from there. A file dropped on the window goes into the input box; a second file of the same
/// drop, or a file dropped on the output box, into the output box.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- The window's public surface, over the core
    /// The py.db that runs read: the one beside the program unless changed.
    std::string dataPath;
    /// The cataloguer's word list, read afresh at the start of every run: words.txt in the
    /// per-user application data folder (QStandardPaths::AppDataLocation). No file, no words.
    std::string wordsPath;
    /// The reading last chosen in the chooser; empty at start.
    std::string lastReading;

    /// What the controls say now: what the next run will use.
    pinyin::RunSettings settings() const;
    bool running() const { return running_; }

    /// What a confirmed exit does once the skin is off and no record is half done; quits the
    /// event loop unless a test puts something else in.
    void setEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }

    /// Called with the review table once it is filled, before it shows (a test drives it).
    void setReviewShown(std::function<void(QDialog&)> shown) { reviewShown_ = std::move(shown); }

    /// The start button: checks the paths and the tags, then runs with a copy of the settings.
    /// Refused while a run is under way.
    void start();
    /// The file buttons: the dialog's answer goes into the path box of the same index (0 the
    /// input, 1 the output; any other does nothing).
    void choosePath(int index);

    /// Writes the paths, the tag list, the options and the last folder to the settings file.
    void saveSettings() const;

    /// Fills the path boxes (the command line's INPUT and OUTPUT). With an input and no output,
    /// an output remembered from an earlier session is not kept: INPUT-pinyin.iso beside the
    /// input is suggested instead (and the window says when that file exists).
    void setPaths(const QString& input, const QString& output = {});

    /// The output suggested for `input`: NAME-pinyin.iso in its folder.
    static QString suggestedOutput(const QString& input);

private:
    // The events Qt hands the window (nothing derives from it, so they stay private).
    /// During a run: says how far it has got and asks whether to stop after the current record.
    void closeEvent(QCloseEvent* event) override;
    /// The pointer on the bare window sets the link label black again.
    void mouseMoveEvent(QMouseEvent* event) override;
    /// Files dragged in: taken when no run is going on.
    void dragEnterEvent(QDragEnterEvent* event) override;
    /// A file dropped: the input, or the output when it lands on the output's box or button.
    void dropEvent(QDropEvent* event) override;

    class Run;
    /// Where a stopped run ended: its two files, the settings it ran with, and the records of
    /// the input it had handled.
    struct Resume {
        QString input, output;
        std::int64_t done = 0;
        pinyin::RunSettings settings;
    };

    /// The checks a press of the start button makes before a run: each failure is said in a
    /// message, with the focus on the box to mend. False when the run cannot start.
    bool pathsUsable();
    bool tagsUsable();
    bool inputHoldsRecords(const QString& input);
    /// Where a stopped run on this pair ended, when it can go on from there.
    std::optional<Resume> resumePoint(const QString& input, const QString& output) const;
    /// Asks whether to go on from `resume` or start again: the records to skip, or -1 to cancel.
    std::int64_t askResume(const Resume& resume);
    void saveResume(const QString& input, const QString& output, const pinyin::RunSettings& used,
                    std::int64_t done) const;
    void forgetResume() const;
    void showSettings(const pinyin::RunSettings& s);
    void lock(bool locked);
    void suggestOutputFor(const QString& input);
    /// Says a problem of the window's own: the title by kind, the text, what to do next.
    void error(const QString& text);
    void note(const QString& text, bool warning = false);

    void buildControls();
    void layOut();
    void connectSettings();
    void loadSettings();
    app::BatchOptions batchOptions(const QString& input, const QString& output) const;
    bool loadWords();
    void runBatch(const QString& input, const QString& output, std::int64_t skip);
    void showOutcome(const app::BatchResult& result, const QString& output, bool foundListed);
    /// The review before a run: gathers the unsure readings and shows the table. False when
    /// the run is not to go on (cancelled, stopped, or the input could not be read).
    bool review(const app::BatchOptions& options, std::optional<app::ReviewAnswers>& answers);
    /// Whether the next run gathers the unsure readings first.
    bool reviews() const;
    /// Warns once of single characters in the word list: each takes its listed reading in every
    /// word that holds it.
    /// Returns py.db as it loaded it for that, for the run to use (nullptr: not loaded).
    std::shared_ptr<const pinyin::PinyinTable> warnOfLoneCharacters();
    void setCount(std::int64_t count);
    /// Shows where the word list lies (and links to it once it exists).
    void showWordsPath();
    /// Adds an entry the chooser was told to remember to the word list file and the run's list.
    void remember(const pinyin::WordEntry& entry);

    /// The copy of the settings the run under way (or the last one) uses.
    pinyin::RunSettings runSettings_;
    DialogChooser chooser_;
    /// The output box holds the path remembered from an earlier session, untouched since.
    bool outputFromEarlier_ = false;
    std::function<void()> endProgram_;
    std::function<void(QDialog&)> reviewShown_;
    bool running_ = false;
    bool quitRequested_ = false;
    Run* run_ = nullptr;  // the run under way, if any

    /// The word list of the run under way (or the last one).
    std::shared_ptr<pinyin::UserWords> words_;

    QGroupBox* tagFrame_ = nullptr;
    QGroupBox* pathFrame_ = nullptr;
    QGroupBox* existingFrame_ = nullptr;
    QGroupBox* spellingFrame_ = nullptr;
    QGroupBox* codeFrame_ = nullptr;
    TagBox* tagList_ = nullptr;
    QLineEdit* pathBoxes_[2] = {};
    QPushButton* pathButtons_[2] = {};
    QPushButton* startButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QRadioButton* polyphoneButtons_[3] = {};
    QRadioButton* existingButtons_[2] = {};
    QRadioButton* caseButtons_[2] = {};
    QRadioButton* codeButtons_[2] = {};
    QRadioButton* subfieldButtons_[2] = {};  // subfield a only, or every subfield that holds Chinese
    QCheckBox* askOnlyWhenUnsure_ = nullptr;
    QCheckBox* checkSpacing_ = nullptr;  // digits and letters set apart from the syllables
    QCheckBox* reviewFirst_ = nullptr;   // gather the unsure readings first, settle them in a table
    LinkLabel* rulesLink_ = nullptr;
    QGroupBox* polyphoneFrame_ = nullptr;  // the polyphonic choice
    QProgressBar* progress_ = nullptr;     // share of the input read
    QLabel* countLabel_ = nullptr;         // the record count beside it
    QLabel* wordsPathLabel_ = nullptr;     // where the word list lies
    QLabel* outputNote_ = nullptr;         // a note on the output box (a suggested name)
};

}  // namespace gui
