// The file dialogs of the two file buttons, over QFileDialog.
#include "filedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace gui {
namespace {

FileDialogHook& hook() {
    static FileDialogHook h;
    return h;
}

// The folder of the last path chosen, so the second dialog opens where the first one ended.
QString& lastFolder() {
    static QString folder;
    return folder;
}

QString caseBlind(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            out += c;
    }
    return out;
}

QString startFolder(const QString& initialFolder) {
    if (initialFolder.isEmpty()) return QDir::currentPath();
    if (QFileInfo(initialFolder).isDir()) return initialFolder;
    if (!lastFolder().isEmpty() && QFileInfo(lastFolder()).isDir()) return lastFolder();
    return QDir::currentPath();
}

}  // namespace

QStringList nameFiltersOf(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) p = caseBlind(p.trimmed());
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out;
}

QString showFileDialog(int kind, const QString& title, const QString& filter, int filterIndex, int flags,
                       const QString& initialFolder, const QString& defaultName, QWidget* owner) {
    QFileDialog dialog(owner, title, startFolder(initialFolder));
    // Qt's own dialog: the desktop's would not honour the case-blind patterns everywhere, and
    // tests and the offscreen platform cannot drive it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The pattern text is ours ("[iI][sS][oO]"); the user sees only the entry names.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const bool open = kind != 0;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open && (flags & kFlagFileMustExist) ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
    if (!open && !(flags & kFlagOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!open) dialog.setDefaultSuffix(QLatin1String(kDefaultSuffix));

    const QStringList filters = nameFiltersOf(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = filterIndex >= 1 && filterIndex <= filters.size() ? filterIndex - 1 : 0;
        dialog.selectNameFilter(filters[index]);
    }
    if (!defaultName.isEmpty()) dialog.selectFile(defaultName);

    std::optional<QString> chosen;
    if (hook()) {
        chosen = hook()(dialog);
    } else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        chosen = dialog.selectedFiles().constFirst();
    }
    if (!chosen || chosen->isEmpty()) return {};
    QString path = QFileInfo(*chosen).absoluteFilePath();
    if (!open) {
        if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + QLatin1String(kDefaultSuffix);
        if (QFileInfo(path).isFile()) {
            QMessageBox box(QMessageBox::Information, title,
                            QStringLiteral("文件已存在：\n%1\n\n处理结果将追加到文件末尾，原有内容保留。")
                                .arg(QDir::toNativeSeparators(path)),
                            QMessageBox::Ok, owner);
            box.setObjectName("MessageBox");
            box.exec();
        }
    }
    lastFolder() = QFileInfo(path).absolutePath();
    return path;
}

void setFileDialogHook(FileDialogHook hook_) { hook() = std::move(hook_); }

QString lastFileFolder() { return lastFolder(); }

void setLastFileFolder(const QString& folder) { lastFolder() = folder; }

}  // namespace gui
