// The windows' message boxes, and opening a file or a page through the desktop.
#pragma once

#include <QMessageBox>
#include <QString>

#include "problem/problem.h"

class QUrl;
class QWidget;

namespace gui {

/// Box titles by kind: a fault the user has to mend, or something to know.
inline const QString kErrorTitle = QStringLiteral("错误");
inline const QString kNoteTitle = QStringLiteral("提示");

/// A modal message box ("MessageBox"); the button pressed goes into `answer`.
void messageBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok, int* answer = nullptr,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

/// A problem the core names, in the window's words, with what to do next where that is clear.
QString chinese(const problem::Problem& p);

/// Opens `url` through the desktop; where the desktop has no program for it, a box shows the
/// address (or path) for the user to copy.
void openOrShow(QWidget* owner, const QUrl& url);

}  // namespace gui
