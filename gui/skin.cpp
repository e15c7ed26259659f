// The skin release: each step undoes one thing the installing side of the convention did.
#include "skin.h"
#include "text/ascii.h"

#include <array>
#include <exception>
#include <limits>

namespace skin {
namespace {

constexpr std::string_view procAddr = "PROCADDR";
constexpr std::string_view timerId = "TIMERID";

// The drawing handles of a skinned button, by slot. The installing side keeps under "HDC"k the
// handle it frees with the delete-object call and under "BMP"k the one it frees with the
// delete-device-context call; the names are the convention's, not a promise about the kind.
constexpr std::array<std::string_view, 4> objectSlots = {"HDC0", "HDC1", "HDC2", "HDC3"};
constexpr std::array<std::string_view, 4> dcSlots = {"BMP0", "BMP1", "BMP2", "BMP3"};

// Removed after the timer is stopped, in this order; "PROCADDR" goes last, once nothing else
// of the skin is left on the button.
constexpr std::array<std::string_view, 5> buttonStateProps = {"MOUSEFLAG", "TIMERID", "OLDSTATE",
                                                              "ALPHALEVEL", "PROCADDR"};

// Masking the type byte with 0xF4 clears bits 0, 1 and 3: owner-drawn (0x0B) becomes a plain
// push button (0x00); the higher bytes (visibility, tab stop, ...) stay as they are.
constexpr std::uint32_t styleKeep = 0xFFFFFF00u | 0xF4u;

// The class name as the system's 255-character buffer would hold it: cut at the first NUL.
// Errors from the layer count as an empty name, which matches no class.
std::string classOf(const WindowLayer& layer, Handle window) {
    try {
        return layer.className(window);
    } catch (const std::exception&) {
        return {};
    }
}

// Counts only go down; one that is already at the floor of its type stays there.
void decrease(std::int32_t& count) {
    if (count > std::numeric_limits<std::int32_t>::min()) --count;
}

}  // namespace

WindowKind kindOf(std::string_view className) {
    className = className.substr(0, className.find('\0'));
    const std::string lower = text::toLower(className);
    if (lower == "thundercommandbutton" || lower == "thunderrt6commandbutton" || lower == "button")
        return WindowKind::Button;
    if (lower == "#32770" || lower == "thunderformdc" || lower == "thunderrt6formdc" || lower == "form")
        return WindowKind::Form;
    return WindowKind::Other;
}

MSkinButton& MSkinButton::instance() {
    static MSkinButton program;
    return program;
}

int MSkinButton::release(WindowLayer& layer, Handle window) {
    switch (kindOf(classOf(layer, window))) {
        case WindowKind::Button:
            return releaseButton(layer, window) ? 1 : 0;
        case WindowKind::Form:
            // The layer lists grandchildren too, as the system's child enumeration does; a window
            // that is a form by class but sits inside this one is released as a plain child.
            for (Handle child : layer.descendants(window)) releaseChild(layer, child);
            return releaseForm(layer, window) ? 1 : 0;
        case WindowKind::Other:
            return 0;
    }
    return 0;
}

void MSkinButton::releaseChild(WindowLayer& layer, Handle child) {
    if (kindOf(classOf(layer, child)) == WindowKind::Button)
        releaseButton(layer, child);
    else
        releasePlainChild(layer, child);
}

bool MSkinButton::releaseButton(WindowLayer& layer, Handle button) {
    const Value procedure = layer.getProp(button, procAddr);
    if (procedure == 0) return false;

    for (std::size_t k = 0; k < objectSlots.size(); ++k) {
        const Value object = layer.getProp(button, objectSlots[k]);
        const Value dc = layer.getProp(button, dcSlots[k]);
        // A slot the installer never filled holds 0, which names nothing to free.
        if (object != 0) layer.deleteObject(object);
        if (dc != 0) layer.deleteDc(dc);
        layer.removeProp(button, objectSlots[k]);
        layer.removeProp(button, dcSlots[k]);
    }

    // A timer id of 0 is never handed out, so 0 means the button has no timer running.
    if (const Value timer = layer.getProp(button, timerId); timer != 0) {
        layer.setProp(button, timerId, 0);
        layer.killTimer(button, timer);
    }

    for (std::string_view name : buttonStateProps) layer.removeProp(button, name);

    layer.setStyle(button, layer.style(button) & styleKeep);
    layer.clearRegion(button);
    layer.setWindowProc(button, procedure);
    layer.invalidate(button);

    decrease(state_.buttons);
    freeSharedDcIfUnused(layer);
    return true;
}

namespace {

/// Gives a window its own procedure back, kept in its procAddr property; false when it has none.
bool restoreProcedure(WindowLayer& layer, Handle window) {
    const Value procedure = layer.getProp(window, procAddr);
    if (procedure == 0) return false;
    layer.removeProp(window, procAddr);
    layer.setWindowProc(window, procedure);
    return true;
}

}  // namespace

bool MSkinButton::releasePlainChild(WindowLayer& layer, Handle child) {
    if (!restoreProcedure(layer, child)) return false;
    layer.sendNcPaint(child);
    return true;
}

bool MSkinButton::releaseForm(WindowLayer& layer, Handle form) {
    if (!restoreProcedure(layer, form)) return false;
    decrease(state_.forms);
    freeSharedDcIfUnused(layer);
    return true;
}

// Once freed, the shared context is gone: a later skinned window dropping the counts further
// must not free the same handle again, as the system may have handed it out anew by then.
void MSkinButton::freeSharedDcIfUnused(WindowLayer& layer) {
    if (state_.buttons > 0 || state_.forms > 0 || !state_.sharedDcExists) return;
    layer.deleteDc(state_.sharedDc);
    state_.sharedDc = 0;
    state_.sharedDcExists = false;
}

}  // namespace skin
