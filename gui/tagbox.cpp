#include "tagbox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include "twips.h"

namespace gui {

TagBox::TagBox(const QString& text, QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setText(text);
}

void TagBox::setText(const QString& text) {
    QString one = text;
    one.replace(QLatin1String("\r\n"), QLatin1String(" "));
    one.replace(QLatin1Char('\r'), QLatin1Char(' '));
    one.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setPlainText(one);
    setCursorPosition(0);
}

void TagBox::setCursorPosition(int position) {
    QTextCursor c = textCursor();
    c.setPosition(position);
    setTextCursor(c);
}

void TagBox::setSelection(int start, int length) {
    QTextCursor c = textCursor();
    c.setPosition(start);
    c.setPosition(start + length, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

int TagBox::heightForLines(int lines) const {
    const QMargins m = contentsMargins();
    return lines * fontMetrics().lineSpacing() + 2 * static_cast<int>(document()->documentMargin()) +
           m.top() + m.bottom();
}

// Opens as wide as its whole text, two lines high; may shrink to one line and a narrow width.
QSize TagBox::sizeHint() const {
    const QMargins m = contentsMargins();
    const int width = fontMetrics().horizontalAdvance(text()) +
                      2 * static_cast<int>(document()->documentMargin()) + m.left() + m.right() + 8;
    return {std::max(width, px(1500)), heightForLines(2)};
}

QSize TagBox::minimumSizeHint() const { return {px(1500), heightForLines(1)}; }

void TagBox::keyPressEvent(QKeyEvent* event) {
    // One list, one line of text: Enter goes to the window (as in a one-line box).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TagBox::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    textCursor().insertText(text);
}

}  // namespace gui
