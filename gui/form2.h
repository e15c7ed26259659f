// The polyphonic character chooser: the text with the character in red, and its readings.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

#include "pinyin/chooser.h"

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

    /// Fills the window from the members: the character, the non-empty readings in stored
    /// order, the text with the character at DyStr in red (nothing red when DyStr is outside
    /// the text).
    void load();

    /// The reading handed back, once the user has chosen.
    const std::optional<QString>& choice() const { return choice_; }

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
    std::optional<QString> choice_;
    bool preselected_ = false;
};

/// The lookup's questions answered in Form2, shown modally without an owner. `onChosen` hears
/// every reading handed back (the main window keeps it as its selpy).
class DialogChooser final : public pinyin::Chooser {
public:
    explicit DialogChooser(std::function<void(const std::string&)> onChosen = {});
    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;

private:
    std::function<void(const std::string&)> onChosen_;
};

}  // namespace gui
