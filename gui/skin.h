// Taking an owner-drawn button skin off a window and its children, over a window layer of our own.
//
// A skinned window is one whose window procedure was replaced, the replaced procedure being kept
// in the window property "PROCADDR"; a skinned button also keeps drawing handles ("HDC0".."HDC3",
// "BMP0".."BMP3") and state ("TIMERID", "MOUSEFLAG", "OLDSTATE", "ALPHALEVEL") in properties.
// Nothing in this program installs a skin, so at exit the release normally finds nothing to do.
//
// Usage at a confirmed exit (the window side, see gui/skinlayer.h):
//
//     skin::MSkinButton::instance().release(gui::QtWindowLayer{}, gui::handleOf(mainWindow));
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skin {

/// A window, as the layer names it; 0 is no window.
using Handle = std::uintptr_t;
/// The value of a window property, a drawing handle, a timer id or a window procedure; 0 is none.
using Value = std::uintptr_t;

/// The window-system calls the release needs. Results are ignored by the release, so every call
/// must tolerate a handle or value that names nothing (do nothing, return 0 or "").
class WindowLayer {
public:
    virtual ~WindowLayer() = default;

    // --- Reading a window
    /// The window's class name as the system reports it (any letter case); "" when it cannot say.
    virtual std::string className(Handle window) const = 0;
    /// Every descendant of `window`, children and their children at any depth, parents before
    /// their children.
    virtual std::vector<Handle> descendants(Handle window) const = 0;

    // --- Window properties: named values attached to one window
    /// The property's value; 0 when the window has no such property.
    virtual Value getProp(Handle window, std::string_view name) const = 0;
    virtual void setProp(Handle window, std::string_view name, Value value) = 0;
    virtual void removeProp(Handle window, std::string_view name) = 0;

    // --- Changing a window
    /// The window style bits (32 bits; the lowest byte holds the button type).
    virtual std::uint32_t style(Handle window) const = 0;
    virtual void setStyle(Handle window, std::uint32_t style) = 0;
    /// Drops the window's clipping region, so it is rectangular again, and redraws it.
    virtual void clearRegion(Handle window) = 0;
    /// Makes `procedure` the window's procedure again.
    virtual void setWindowProc(Handle window, Value procedure) = 0;
    /// Marks the whole window for repainting.
    virtual void invalidate(Handle window) = 0;
    /// Asks the window to repaint its frame (the non-client paint message, 0x85, whole frame).
    virtual void sendNcPaint(Handle window) = 0;
    virtual void killTimer(Handle window, Value timerId) = 0;

    // --- Drawing resources
    /// Frees a drawing object (bitmap, pen, brush, region).
    virtual void deleteObject(Value object) = 0;
    /// Frees a device context.
    virtual void deleteDc(Value dc) = 0;
};

/// The program-wide bookkeeping of skinned windows. The release only ever decreases it.
struct SkinState {
    std::int32_t buttons = 0;     ///< skinned buttons
    std::int32_t forms = 0;       ///< skinned forms and dialogs
    Value sharedDc = 0;           ///< device context shared by every skinned window
    bool sharedDcExists = false;  ///< whether `sharedDc` is still to be freed
};

/// Class names, compared after lower-casing: the command buttons and the forms and dialogs.
enum class WindowKind { Button, Form, Other };

/// Lower-cases `className` (ASCII letters), cuts it at its first NUL and sorts it into a kind.
WindowKind kindOf(std::string_view className);

/// The skin convention and its release. Holds the program-wide state; tests make their own.
/// Nothing here throws except std::bad_alloc; exceptions from the layer's className() are taken
/// as an empty name, any other exception from the layer passes through.
class MSkinButton {
public:
    explicit MSkinButton(SkinState start = {}) : state_(start) {}

    /// The program's one instance, for the window's exit path.
    static MSkinButton& instance();

    /// Takes the skin off the top-level window `window`: a button is released as a button; a form
    /// or dialog has every descendant released (buttons as buttons, any other window as a plain
    /// child) and then itself; any other window is left alone, descendants unvisited.
    /// Returns 1 when `window` itself carried a skin ("PROCADDR") and it was taken off, else 0.
    int release(WindowLayer& layer, Handle window);
    int release(WindowLayer&& layer, Handle window) { return release(layer, window); }

    const SkinState& state() const { return state_; }

private:
    bool releaseButton(WindowLayer& layer, Handle button);
    bool releasePlainChild(WindowLayer& layer, Handle child);
    bool releaseForm(WindowLayer& layer, Handle form);
    void releaseChild(WindowLayer& layer, Handle child);
    void freeSharedDcIfUnused(WindowLayer& layer);

    SkinState state_;
};

}  // namespace skin
