// Window layout in twips, the unit the windows were drawn in, turned into pixels; fonts in points.
#pragma once

#include <QFont>
#include <QRect>

namespace gui {

/// 15 twips make one pixel at 96 dots per inch; the windows are drawn a third larger than that,
/// so that today's fonts fit the option buttons of 12 pixels' height the layout was made for.
inline constexpr int kTwipsPerPixelTimes4 = 45;  // 15 * 3

inline int px(int twips) { return (twips * 4 + kTwipsPerPixelTimes4 / 2) / kTwipsPerPixelTimes4; }

/// Left, top, width and height in twips, as a rectangle in pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

/// A font of `family` at `points` (fractions kept: 10.5 and 15.75 points are common sizes).
inline QFont pointFont(const QString& family, double points) {
    QFont font(family);
    font.setPointSizeF(points);
    return font;
}

}  // namespace gui
