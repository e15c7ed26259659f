// The polyphonic character chooser: the text with the character in red, and its readings.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

#include "pinyin/chooser.h"
#include "pinyin/words.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace gui {

/// Set the four members (and `suggested`), call load(), then exec(). The window closes only
/// through a choice: the button "选择", a double-click on a reading, or Enter. Escape and close
/// requests are refused, so a reading is always handed back.
class Form2 : public QDialog {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    QString pystr;   ///< every reading, single spaces between
    QString hz;      ///< the character
    QString AllHz;   ///< the whole text being romanised
    int DyStr = 0;   ///< 1-based position of the character in AllHz, in UTF-16 code units
    int suggested = 0;  ///< index of the reading to preselect among the listed ones
    QString word;    ///< the word around the character that the phrase data found, marked at load
    int wordAt = 0;  ///< 1-based position of its first character in AllHz, in UTF-16 code units

    /// Fills the window from the members: the character, the non-empty readings in stored
    /// order, the text with the character at DyStr in red (nothing red when DyStr is outside
    /// the text).
    void load();

    /// The reading handed back, once the user has chosen.
    const std::optional<QString>& choice() const { return choice_; }
    /// Whether "记住此读音" is ticked: the word around the character goes into the word list.
    bool remember() const;
    /// The characters of the text marked as that word, 1-based UTF-16 positions, both included;
    /// {0, 0} when nothing is marked.
    std::pair<int, int> marked() const;

    /// The readings `pystr` lists: the non-empty pieces between single spaces, in stored order.
    static QStringList readingsOf(const QString& pystr);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void preselect();
    void choose();

    QTextEdit* richTextBox1_;
    QListWidget* list1_;
    QLabel* label2_;
    QPushButton* command1_;
    QCheckBox* check1_;
    std::optional<QString> choice_;
    bool preselected_ = false;
};

/// The lookup's questions answered in Form2, shown modally without an owner. `onChosen` hears
/// every reading handed back (the main window keeps it as its selpy); `onRemember` every word
/// list entry the user asks to remember (the main window writes it to its file).
class DialogChooser final : public pinyin::Chooser {
public:
    explicit DialogChooser(std::function<void(const std::string&)> onChosen = {},
                           std::function<void(const pinyin::WordEntry&)> onRemember = {});
    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;

private:
    std::function<void(const std::string&)> onChosen_;
    std::function<void(const pinyin::WordEntry&)> onRemember_;
};

}  // namespace gui
