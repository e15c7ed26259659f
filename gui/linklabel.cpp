// The web link of the main window.
#include "linklabel.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "boxes.h"

namespace gui {

LinkLabel::LinkLabel(const QString& text, QUrl url, QWidget* parent)
    : QLabel(text, parent), url_(std::move(url)) {
    // Moves without a pressed button reach only widgets that track the mouse; the window tracks
    // too, so the label goes black again only over the bare window, not over a frame or button.
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setToolTip(url_.toString());
    setAccessibleName(text);
    setAccessibleDescription(QStringLiteral("链接：") + url_.toString());
    setFocusPolicy(Qt::StrongFocus);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setIdle();
}

void LinkLabel::setIdle() { setColour(Qt::black); }

QColor LinkLabel::colour() const { return palette().color(QPalette::WindowText); }

void LinkLabel::setColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
    setColour(QColor(0, 0, 255));
    // Taken here: passed on, the move would reach the window, which sets the label black again.
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        openOrShow(this, url_);
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            openOrShow(this, url_);
            event->accept();
            return;
        default:
            QLabel::keyPressEvent(event);
    }
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    // A label draws no focus of its own; the style's focus frame shows where Tab has got to.
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

}  // namespace gui
