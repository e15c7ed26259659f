// The review table: every unsure reading of a file, one row a group, settled before the run.
#pragma once

#include <QDialog>

#include <vector>

#include "app/review.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace gui {

/// One row a group (the word with the asked character in red, its readings with the suggestion
/// preselected, the count, 记住), most occurrences first; the selected row's occurrences below.
/// By keyboard: up and down move, 1–9 pick a reading, Space toggles 记住, Enter goes to the next
/// row not yet looked at. An occurrence below can be given its own reading, which leaves its
/// group's answer. "写出" accepts (the window then runs with answers()), "取消" rejects.
class ReviewDialog final : public QDialog {
    Q_OBJECT
public:
    /// `lowerCase`: the readings as the run writes them. `input` and `options` name the file the
    /// saved table belongs to.
    ReviewDialog(const app::ReviewGathering& gathering, bool lowerCase, const app::ReviewInput& input,
                 const app::ReviewOptions& options, QWidget* parent = nullptr);

    /// The readings chosen and the words to remember.
    app::ReviewAnswers answers() const;
    /// Rows looked at, and rows in all.
    int lookedAt() const;
    /// Writes the table as the command line's review file; false when it cannot be written.
    bool saveTo(const QString& path);
    /// Takes the answers of a saved table; says why and changes nothing when it does not fit.
    bool openFrom(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPlaces(int row);
    void markLooked(int row);
    void pick(int row, int reading);
    void nextNotLooked();
    void filter(const QString& text);
    void acceptSuggestions();
    void showCounter();

    const app::ReviewGathering& gathering_;
    app::ReviewInput input_;
    app::ReviewOptions options_;
    bool lowerCase_;
    std::vector<bool> looked_;
    /// Occurrences given their own reading (the occurrences table's last column).
    decltype(app::ReviewAnswers::places) own_;
    QLineEdit* filter_ = nullptr;
    QLabel* counter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QTableWidget* places_ = nullptr;
};

}  // namespace gui
