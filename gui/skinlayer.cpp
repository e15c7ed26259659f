// Qt widgets seen through the skin release's window layer.
#include "skinlayer.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QVariant>
#include <QWidget>

#include <climits>

namespace gui {
namespace {

QWidget* widgetOf(skin::Handle window) { return reinterpret_cast<QWidget*>(window); }

// Property names are plain ASCII ("PROCADDR", "HDC0", ...); a QByteArray keeps the NUL-free copy
// that QObject::property() wants.
QByteArray nameOf(std::string_view name) {
    return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

skin::Handle handleOf(const QWidget* widget) { return reinterpret_cast<skin::Handle>(widget); }

std::string QtWindowLayer::className(skin::Handle window) const {
    const QWidget* widget = widgetOf(window);
    if (!widget) return {};
    // A button is a button even when it stands alone as a window.
    if (qobject_cast<const QAbstractButton*>(widget)) return "button";
    if (widget->isWindow()) return "form";
    return widget->metaObject()->className();
}

std::vector<skin::Handle> QtWindowLayer::descendants(skin::Handle window) const {
    std::vector<skin::Handle> out;
    if (const QWidget* widget = widgetOf(window)) {
        // Recursive, depth-first: each parent comes before its children.
        const auto children = widget->findChildren<QWidget*>();
        out.reserve(static_cast<std::size_t>(children.size()));
        for (const QWidget* child : children) out.push_back(handleOf(child));
    }
    return out;
}

skin::Value QtWindowLayer::getProp(skin::Handle window, std::string_view name) const {
    const QWidget* widget = widgetOf(window);
    if (!widget) return 0;
    bool ok = false;
    const qulonglong value = widget->property(nameOf(name).constData()).toULongLong(&ok);
    return ok ? static_cast<skin::Value>(value) : 0;
}

void QtWindowLayer::setProp(skin::Handle window, std::string_view name, skin::Value value) {
    if (QWidget* widget = widgetOf(window))
        widget->setProperty(nameOf(name).constData(), QVariant::fromValue<qulonglong>(value));
}

void QtWindowLayer::removeProp(skin::Handle window, std::string_view name) {
    // An invalid QVariant removes a dynamic property; it leaves declared Qt properties alone.
    if (QWidget* widget = widgetOf(window)) widget->setProperty(nameOf(name).constData(), QVariant());
}

std::uint32_t QtWindowLayer::style(skin::Handle) const { return 0; }

void QtWindowLayer::setStyle(skin::Handle, std::uint32_t) {}

void QtWindowLayer::clearRegion(skin::Handle window) {
    if (QWidget* widget = widgetOf(window)) {
        widget->clearMask();
        widget->update();
    }
}

void QtWindowLayer::setWindowProc(skin::Handle, skin::Value) {}

void QtWindowLayer::invalidate(skin::Handle window) {
    if (QWidget* widget = widgetOf(window)) widget->update();
}

void QtWindowLayer::sendNcPaint(skin::Handle window) {
    if (QWidget* widget = widgetOf(window)) widget->update();
}

void QtWindowLayer::killTimer(skin::Handle window, skin::Value timerId) {
    // Qt's timer ids are positive ints; anything else names no timer of this widget.
    if (QWidget* widget = widgetOf(window); widget && timerId > 0 && timerId <= INT_MAX)
        widget->killTimer(static_cast<int>(timerId));
}

void QtWindowLayer::deleteObject(skin::Value) {}

void QtWindowLayer::deleteDc(skin::Value) {}

}  // namespace gui
