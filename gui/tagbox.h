// The tag box: the list of tags to annotate, as typed. It wraps when the window is narrow and
// takes the window's spare height, so a long list is seen whole.
#pragma once

#include <QPlainTextEdit>

namespace gui {

class TagBox : public QPlainTextEdit {
public:
    explicit TagBox(const QString& text, QWidget* parent = nullptr);

    /// The list as typed (the box holds no line breaks: Enter and pasted breaks are refused).
    QString text() const { return toPlainText(); }
    void setText(const QString& text);
    void setCursorPosition(int position);
    void setSelection(int start, int length);
    QString selectedText() const { return textCursor().selectedText(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int heightForLines(int lines) const;
};

}  // namespace gui
