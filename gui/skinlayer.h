// The skin release's window layer over Qt widgets: dynamic properties stand for window properties.
//
// At a confirmed exit, with the main window:
//
//     skin::MSkinButton::instance().release(gui::QtWindowLayer{}, gui::handleOf(mainWindow));
//
// Nothing installs a skin, so over the real main window this returns 0 and changes nothing.
// Built with the release itself (skin.h) into marcpy_skin, which the window links.
#pragma once

#include "skin.h"

class QWidget;

namespace gui {

/// The handle the layer uses for `widget` (its address); 0 for nullptr.
skin::Handle handleOf(const QWidget* widget);

/// Every handle given to this layer must be 0 or name a live QWidget (from handleOf()); handle 0
/// reads as a window with no class, no properties and no children, and changes are ignored.
///
/// Class names: any QAbstractButton reads "button", any other window (QWidget::isWindow()) "form",
/// anything else its meta-object class name. Properties are the widget's dynamic properties,
/// holding unsigned integers. The region is the widget's mask, invalidating and the frame repaint
/// are update(), timers are QObject timers. Qt has no window procedures, window style bits or
/// drawing handles of this kind: those calls do nothing and style() reads 0.
class QtWindowLayer final : public skin::WindowLayer {
public:
    std::string className(skin::Handle window) const override;
    std::vector<skin::Handle> descendants(skin::Handle window) const override;
    skin::Value getProp(skin::Handle window, std::string_view name) const override;
    void setProp(skin::Handle window, std::string_view name, skin::Value value) override;
    void removeProp(skin::Handle window, std::string_view name) override;
    std::uint32_t style(skin::Handle window) const override;
    void setStyle(skin::Handle window, std::uint32_t style) override;
    void clearRegion(skin::Handle window) override;
    void setWindowProc(skin::Handle window, skin::Value procedure) override;
    void invalidate(skin::Handle window) override;
    void sendNcPaint(skin::Handle window) override;
    void killTimer(skin::Handle window, skin::Value timerId) override;
    void deleteObject(skin::Value object) override;
    void deleteDc(skin::Value dc) override;
};

}  // namespace gui
