// Answers the modal windows a window test opens, in order, and ends any wait that overstays.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QMessageBox;
class QWidget;

namespace guitest {

/// What a message box showed.
struct BoxSeen {
    QString title;
    QString text;
    int icon = -1;           ///< QMessageBox::Icon
    QStringList buttons;     ///< the button texts, as translated
};

/// Polls for the active modal window every few milliseconds and hands it to the next step. A
/// modal window with no step left is closed and logged as unexpected; after the deadline every
/// modal window is closed, so a test with a wrong expectation fails instead of hanging.
class ModalScript : public QObject {
    Q_OBJECT
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalScript(int deadlineMs = 30000);
    void then(Step step) { steps_.push_back(std::move(step)); }

    /// A step that records a message box and presses `button` (a QMessageBox::StandardButton).
    static Step answerBox(int button, BoxSeen* seen = nullptr);

    std::size_t stepsLeft() const { return steps_.size(); }
    const QStringList& unexpected() const { return unexpected_; }
    bool timedOut() const { return timedOut_; }

private:
    void poll();

    std::deque<Step> steps_;
    QPointer<QWidget> handled_;
    QStringList unexpected_;
    QTimer poller_;
    QTimer deadline_;
    bool timedOut_ = false;
};

/// Ends a modal window without regard to its kind: a message box by its escape or first
/// button, the chooser by its first reading, any other dialog by reject().
void dismiss(QWidget* modal);

}  // namespace guitest
