// The windows' message boxes, and opening a file or a page through the desktop.
#include "boxes.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "messages/messages.h"

namespace gui {

namespace {

// What the user can do about a run that could not start, by what stopped it.
QString nextStep(problem::Kind kind) {
    using problem::Kind;
    switch (kind) {
        case Kind::NoInputPath:
        case Kind::InputCannotOpen:
        case Kind::InputIsFolder:
        case Kind::NotIso2709:
            return QStringLiteral("请选择一个可读的MARC（ISO 2709）文件。");
        case Kind::NoRecords:
            return QStringLiteral("请选择一个含有记录的MARC文件。");
        case Kind::NoOutputPath:
        case Kind::OutputIsFolder:
        case Kind::OutputCannotOpen:
        case Kind::OutputFolderMissing:
        case Kind::OutputWriteFailed:
            return QStringLiteral("请选择可写入的文件夹中的输出文件。");
        case Kind::OutputBusy:
            return QStringLiteral("请等另一处理结束，或另选输出文件。");
        case Kind::InputIsOutput:
        case Kind::InputIsRejects:
        case Kind::InputIsFailureLog:
        case Kind::InputIsPartialFile:
        case Kind::OutputNotRecords:
            return QStringLiteral("请另选输出文件。");
        case Kind::OutputPartialTail:
            return QStringLiteral(
                "请另选输出文件，或用命令行程序的 --repair-tail 移走末尾的残缺记录后再继续。");
        case Kind::DbCannotOpen:
        case Kind::DbNotReadable:
        case Kind::DbNoPinYinTable:
        case Kind::DbNoColumns:
        case Kind::DbEmpty:
        case Kind::DbBadReading:
        case Kind::DbNoPhrases:
        case Kind::DbFailed:
            return QStringLiteral("请重新安装本程序，使 py.db 完整可读。");
        case Kind::Marc8:
        case Kind::SingleByte:
            return QStringLiteral("请先把文件转换为 UTF-8 或 GBK。");
        case Kind::WordsCannotRead:
        case Kind::WordsInvalid:
            return QStringLiteral("请改正本馆词表后再开始处理。");
        case Kind::RejectsWriteFailed:
        case Kind::InputReadFailed:
            return QStringLiteral("请检查磁盘后，从停止处继续处理。");
        default:
            return {};
    }
}

}  // namespace

void messageBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons, int* answer,
                QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, owner);
    box.setObjectName("MessageBox");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // paths can be copied
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    const int result = box.exec();
    if (answer) *answer = result;
}

QString chinese(const problem::Problem& p) {
    QString text = QString::fromStdString(messages::describe(p, messages::Language::Chinese));
    const QString next = nextStep(p.kind);
    if (!next.isEmpty()) text += QLatin1Char('\n') + next;
    return text;
}

void openOrShow(QWidget* owner, const QUrl& url) {
    if (QDesktopServices::openUrl(url)) return;
    const QString where = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    messageBox(owner, QMessageBox::Information, kNoteTitle,
               QStringLiteral("无法自动打开（本机没有可以打开它的程序）：\n%1\n\n请复制上面的%2，自行打开。")
                   .arg(where, url.isLocalFile() ? QStringLiteral("路径") : QStringLiteral("网址")));
}

}  // namespace gui
