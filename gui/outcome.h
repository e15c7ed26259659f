// The end of a run with failed records: what was written, what failed and why, and the log.
#pragma once

#include <QDialog>

#include "app/batch.h"

namespace gui {

/// How many failures the dialog lists; "还有 N 条" stands for the rest.
inline constexpr int kFailuresListed = 100;

/// A modal dialog ("FormOutcome"): the counts, the first failures with their reasons in a
/// scrollable list ("ListFailures"), where the failed records are kept, and a button
/// ("CommandOpenLog") that opens the failure log when the run wrote one.
class OutcomeDialog : public QDialog {
    Q_OBJECT
public:
    OutcomeDialog(const app::BatchResult& result, const QString& output, QWidget* parent = nullptr);
    /// The text at the top: the counts and the files.
    static QString summaryText(const app::BatchResult& result, const QString& output);
    /// The figures every end message gives: records handled, written, failed (and read past),
    /// and the output file.
    static QString figures(const app::BatchResult& result, const QString& output);
};

}  // namespace gui
