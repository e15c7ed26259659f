// The one wrapper over the open and save file dialogs, with a seam for tests.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace gui {

/// Windows' OFN_* flags that the wrapper honours; every other bit is ignored.
inline constexpr int kFlagOverwritePrompt = 0x2;
inline constexpr int kFlagFileMustExist = 0x1000;

/// The filter text of the file buttons: display names and patterns, "|" between them.
inline const QString kMarcFilter = QStringLiteral(
    "MARC 文件 (*.iso *.mrc *.marc *.dat)|*.iso;*.mrc;*.marc;*.dat|文本文件 (*.txt)|*.txt|"
    "所有文件 (*)|*");

/// What the save dialog adds to a name without an extension.
inline constexpr const char* kDefaultSuffix = "iso";

/// The folder the next dialog opens in when no other is given (the last one chosen); the main
/// window keeps it between sessions.
QString lastFileFolder();
void setLastFileFolder(const QString& folder);

/// Qt name filters for a "name|pattern|name|pattern" text. The patterns match whatever the
/// letter case ("*.ISO" becomes "*.[iI][sS][oO]"): Windows ignores case in file names and a
/// cataloguer's "records.iso" must show. A trailing name without a pattern is dropped.
QStringList nameFiltersOf(const QString& filter);

/// Shows the open dialog (`kind` not 0) or the save dialog (`kind` 0) and returns the full path
/// chosen, or an empty text when the user cancels or the dialog fails.
///  - `filterIndex` picks the filter entry, counting from 1; 0 or out of range means the first.
///  - `flags`: without kFlagOverwritePrompt an existing file is taken for saving without a
///    question; without kFlagFileMustExist the open dialog takes a name that does not exist.
///  - `initialFolder`: empty means the current folder; a text that names no folder (the file
///    buttons pass "0") means the folder last chosen in this program, else the current folder.
///  - `defaultName` stands in the name box when the dialog opens.
/// Saving: a name without an extension gets ".iso"; a file that exists is taken after a box
/// that says the records will be appended to it (runs never truncate their output).
/// The dialog is Qt's own (not the desktop's), so it looks the same everywhere and can be tested.
QString showFileDialog(int kind, const QString& title, const QString& filter, int filterIndex, int flags,
                       const QString& initialFolder, const QString& defaultName, QWidget* owner);

/// Tests answer the dialog instead of a user: the hook gets the dialog as the wrapper set it up
/// and returns the chosen path, or nullopt for a cancel. An empty hook restores the real dialog.
using FileDialogHook = std::function<std::optional<QString>(QFileDialog& dialog)>;
void setFileDialogHook(FileDialogHook hook);

}  // namespace gui
