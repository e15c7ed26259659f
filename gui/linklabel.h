// The main window's web link: underlined, blue under the pointer, opened through the desktop on a
// click or, once Tab has reached it, on Enter or Space.
#pragma once

#include <QLabel>
#include <QUrl>

namespace gui {

class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QUrl url, QWidget* parent = nullptr);

    /// Black, the colour the window sets when the pointer crosses its bare surface.
    void setIdle();
    QColor colour() const;
    const QUrl& url() const { return url_; }

private:
    // The events Qt hands the label (nothing derives from it, so they stay private).
    /// The pointer on the label turns it blue.
    void mouseMoveEvent(QMouseEvent* event) override;
    /// A click opens the address.
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// Return, Enter or Space open the address too.
    void keyPressEvent(QKeyEvent* event) override;
    /// The label as QLabel draws it, with the style's focus frame when it has the focus.
    void paintEvent(QPaintEvent* event) override;

    void setColour(const QColor& colour);
    QUrl url_;
};

}  // namespace gui
