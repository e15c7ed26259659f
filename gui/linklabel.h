// The main window's web link: underlined, blue under the pointer, opened through the desktop on a
// click or, once Tab has reached it, on Enter or Space.
#pragma once

#include <QLabel>
#include <QUrl>

namespace gui {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QUrl url, QWidget* parent = nullptr);

    /// Black, the colour the window sets when the pointer crosses its bare surface.
    void setIdle();
    QColor colour() const;
    const QUrl& url() const { return url_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setColour(const QColor& colour);
    QUrl url_;
};

}  // namespace gui
