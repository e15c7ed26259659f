// What the program sets up once for all its windows: Chinese button texts, Chinese fonts, the icon.
#pragma once

class QApplication;

namespace gui {

/// Loads Qt's own Chinese translation (so message boxes read 是/否/确定) and maps the fonts the
/// windows name (SimSun, 宋体) onto a Chinese font this machine has; gives every window the
/// program's icon. Returns false when the translation could not be loaded; the program still
/// works, with English button texts.
bool setUpApplication(QApplication& app);

}  // namespace gui
