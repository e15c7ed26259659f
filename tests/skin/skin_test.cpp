// The skin release over a pretend window tree: what it visits, what it frees and in which order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "skin.h"

namespace {

using skin::Handle;
using skin::MSkinButton;
using skin::Value;
using Log = std::vector<std::string>;
using Props = std::map<std::string, Value, std::less<>>;

struct FakeWindow {
    std::string className;
    Props props;
    std::uint32_t style = 0x50010000;  // visible child with a tab stop
    std::vector<Handle> children;
};

// Handles are 1-based indexes into `windows`. Reads are logged as "class h"; every change in full.
class FakeLayer final : public skin::WindowLayer {
public:
    std::vector<FakeWindow> windows;
    mutable Log log;
    bool classNameThrows = false;

    Handle add(std::string className, Handle parent = 0) {
        windows.push_back({std::move(className), {}, 0x50010000, {}});
        if (parent) at(parent).children.push_back(windows.size());
        return windows.size();
    }
    FakeWindow& at(Handle h) { return windows.at(h - 1); }
    Log changes() const {
        Log out;
        std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                     [](auto& l) { return l.rfind("class ", 0); });
        return out;
    }
    int count(const std::string& line) const { return int(std::count(log.begin(), log.end(), line)); }

    std::string className(Handle h) const override {
        log.push_back("class " + std::to_string(h));
        if (classNameThrows) throw std::runtime_error("no class");
        return h ? windows.at(h - 1).className : "";
    }
    std::vector<Handle> descendants(Handle h) const override {
        std::vector<Handle> out;
        for (Handle c : windows.at(h - 1).children) {
            out.push_back(c);
            for (Handle g : descendants(c)) out.push_back(g);
        }
        return out;
    }
    Value getProp(Handle h, std::string_view name) const override {
        const auto& p = windows.at(h - 1).props;
        const auto it = p.find(name);
        return it == p.end() ? 0 : it->second;
    }
    void setProp(Handle h, std::string_view name, Value v) override {
        at(h).props[std::string(name)] = v;
        note("setProp", h, std::string(name) + " " + std::to_string(v));
    }
    void removeProp(Handle h, std::string_view name) override {
        if (auto it = at(h).props.find(name); it != at(h).props.end()) at(h).props.erase(it);
        note("removeProp", h, std::string(name));
    }
    std::uint32_t style(Handle h) const override { return windows.at(h - 1).style; }
    void setStyle(Handle h, std::uint32_t s) override { at(h).style = s, note("setStyle", h); }
    void clearRegion(Handle h) override { note("clearRegion", h); }
    void setWindowProc(Handle h, Value p) override { note("setWindowProc", h, std::to_string(p)); }
    void invalidate(Handle h) override { note("invalidate", h); }
    void sendNcPaint(Handle h) override { note("ncPaint", h); }
    void killTimer(Handle h, Value id) override { note("killTimer", h, std::to_string(id)); }
    void deleteObject(Value v) override { note("deleteObject", v); }
    void deleteDc(Value v) override { note("deleteDc", v); }

private:
    void note(const char* what, Value v, const std::string& rest = "") {
        log.push_back(std::string(what) + " " + std::to_string(v) + (rest.empty() ? "" : " " + rest));
    }
};

constexpr Value sharedDc = 900;

// Gives `h` every property a skinned button carries: HDCk = 100+k, BMPk = 200+k.
void skinButton(FakeLayer& fake, Handle h, Value procedure, Value timer) {
    auto& props = fake.at(h).props;
    for (int k = 0; k < 4; ++k) {
        props["HDC" + std::to_string(k)] = 100 + k;
        props["BMP" + std::to_string(k)] = 200 + k;
    }
    props.insert({{"PROCADDR", procedure},
                  {"TIMERID", timer},
                  {"MOUSEFLAG", 1},
                  {"OLDSTATE", 2},
                  {"ALPHALEVEL", 255}});
    fake.at(h).style = 0x5001000B;  // visible, tab stop, owner-drawn
}

TEST(SkinKind, ClassNamesMatchInAnyLetterCaseAndNothingElse) {
    using skin::WindowKind;
    for (const char* name : {"ThunderCommandButton", "THUNDERRT6COMMANDBUTTON", "Button", "button"})
        EXPECT_EQ(skin::kindOf(name), WindowKind::Button) << name;
    for (const char* name : {"#32770", "ThunderFormDC", "ThunderRT6FormDC", "FORM", "Form"})
        EXPECT_EQ(skin::kindOf(name), WindowKind::Form) << name;
    for (const char* name : {"", "buttons", " button", "thunderrt6formdc2", "Static", "#32769"})
        EXPECT_EQ(skin::kindOf(name), WindowKind::Other) << name;
    // The system's buffer ends the name at its first NUL.
    EXPECT_EQ(skin::kindOf(std::string_view("Button\0junk", 11)), WindowKind::Button);
    EXPECT_EQ(skin::kindOf(std::string_view("\0Button", 7)), WindowKind::Other);
}

TEST(SkinRelease, UnskinnedMainWindowVisitsEveryDescendantAndChangesNothing) {
    FakeLayer fake;
    const auto main = fake.add("ThunderRT6FormDC");
    const auto frame = fake.add("ThunderRT6Frame", main);
    const auto start = fake.add("ThunderRT6CommandButton", frame);  // a grandchild
    fake.add("ThunderRT6CommandButton", main);
    fake.at(start).props["HDC0"] = 5;  // stray properties without PROCADDR are not a skin
    fake.at(start).style = 0x5001000B;
    const auto before = fake.windows;
    MSkinButton skin({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, main), 0);
    for (Handle h = 1; h <= fake.windows.size(); ++h) {
        EXPECT_EQ(fake.count("class " + std::to_string(h)), 1) << "window " << h;
        EXPECT_EQ(fake.at(h).props, before[h - 1].props);
        EXPECT_EQ(fake.at(h).style, before[h - 1].style);
    }
    EXPECT_EQ(fake.changes(), Log{});
    EXPECT_EQ(skin.state().buttons, 1);
    EXPECT_EQ(skin.state().forms, 1);
    EXPECT_TRUE(skin.state().sharedDcExists);
}

TEST(SkinRelease, WindowThatIsNeitherButtonNorFormIsLeftUnvisited) {
    FakeLayer fake;
    const auto box = fake.add("ThunderRT6PictureBoxDC");
    const auto child = fake.add("Button", box);
    skinButton(fake, box, 11, 0);
    skinButton(fake, child, 12, 0);
    MSkinButton skin({.buttons = 2});

    EXPECT_EQ(skin.release(fake, box), 0);
    EXPECT_EQ(fake.log, Log{"class 1"});
    // A class name the layer cannot read is empty, and an empty name is no class either.
    fake.classNameThrows = true;
    EXPECT_EQ(skin.release(fake, child), 0);
    EXPECT_EQ(skin.release(fake, 0), 0);
    EXPECT_EQ(fake.changes(), Log{});
    EXPECT_EQ(skin.state().buttons, 2);
}

TEST(SkinRelease, SkinnedButtonIsTakenApartInOrder) {
    FakeLayer fake;
    const auto button = fake.add("THUNDERCOMMANDBUTTON");
    skinButton(fake, button, 4000, 7);
    fake.at(button).props["CAPTIONCOLOR"] = 3;  // not the convention's: stays
    MSkinButton skin({.buttons = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, button), 1);
    // "HDC"k goes to the delete-object call, "BMP"k to the delete-device-context call.
    Log expected;
    for (int k = 0; k < 4; ++k) {
        const auto n = std::to_string(k);
        expected.insert(expected.end(), {"deleteObject 10" + n, "deleteDc 20" + n, "removeProp 1 HDC" + n,
                                         "removeProp 1 BMP" + n});
    }
    expected.insert(expected.end(),
                    {"setProp 1 TIMERID 0", "killTimer 1 7", "removeProp 1 MOUSEFLAG", "removeProp 1 TIMERID",
                     "removeProp 1 OLDSTATE", "removeProp 1 ALPHALEVEL", "removeProp 1 PROCADDR",
                     "setStyle 1", "clearRegion 1", "setWindowProc 1 4000", "invalidate 1", "deleteDc 900"});
    EXPECT_EQ(fake.changes(), expected);
    EXPECT_EQ(fake.at(button).style, 0x50010000u);  // owner-drawn back to a plain push button
    EXPECT_EQ(fake.at(button).props, (Props{{"CAPTIONCOLOR", 3}}));
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_FALSE(skin.state().sharedDcExists);
    EXPECT_EQ(skin.state().sharedDc, 0u);
}

TEST(SkinRelease, ButtonWithoutTimerOrSlotKeepsOtherStyleBitsAndIsReleasedOnce) {
    FakeLayer fake;
    const auto button = fake.add("button");
    skinButton(fake, button, 4000, 0);
    fake.at(button).props.erase("HDC2");  // a slot the installer left empty
    fake.at(button).style = 0xABCDEFFF;
    MSkinButton skin({.buttons = 5});

    EXPECT_EQ(skin.release(fake, button), 1);
    for (const auto& line : fake.changes()) {
        EXPECT_EQ(line.rfind("killTimer", 0), std::string::npos) << "no timer to stop";
        EXPECT_NE(line, "setProp 1 TIMERID 0");
        EXPECT_NE(line, "deleteObject 0") << "nothing to free in an empty slot";
    }
    EXPECT_EQ(fake.count("removeProp 1 HDC2"), 1);
    EXPECT_EQ(fake.at(button).style, 0xABCDEFF4u);  // bits 0, 1 and 3 only
    // Released once, the button is no longer skinned: a second release changes nothing.
    fake.log.clear();
    EXPECT_EQ(skin.release(fake, button), 0);
    EXPECT_EQ(fake.changes(), Log{});
    EXPECT_EQ(skin.state().buttons, 4);
}

TEST(SkinRelease, SharedContextGoesWithTheLastSkinnedWindowOnlyAndOnlyOnce) {
    FakeLayer fake;
    for (Handle h = 1; h <= 3; ++h) skinButton(fake, fake.add("Button"), 40 + h, 0);
    MSkinButton skin({.buttons = 2, .sharedDc = sharedDc, .sharedDcExists = true});

    skin.release(fake, 1);
    EXPECT_EQ(fake.count("deleteDc 900"), 0);
    skin.release(fake, 2);
    EXPECT_EQ(fake.count("deleteDc 900"), 1);
    EXPECT_FALSE(skin.state().sharedDcExists);
    // A button the counts did not know of drops them below zero; the context is not freed again.
    EXPECT_EQ(skin.release(fake, 3), 1);
    EXPECT_EQ(skin.state().buttons, -1);
    EXPECT_EQ(fake.count("deleteDc 900"), 1);
    EXPECT_EQ(fake.count("deleteDc 0"), 0);
}

TEST(SkinRelease, FormReleasesButtonsPlainChildrenAndItselfLast) {
    FakeLayer fake;
    const auto dialog = fake.add("#32770");
    const auto button = fake.add("ThunderRT6CommandButton", dialog);
    const auto label = fake.add("Static", dialog);
    const auto frame = fake.add("ThunderRT6Frame", dialog);
    const auto edit = fake.add("Edit", frame);               // grandchild
    const auto inner = fake.add("ThunderRT6FormDC", frame);  // a form inside is a plain child
    const auto plain = fake.add("Static", dialog);           // not skinned
    fake.at(dialog).props["PROCADDR"] = 10;
    skinButton(fake, button, 20, 9);
    fake.at(label).props = {{"PROCADDR", 30}, {"HDC0", 31}};  // only PROCADDR is a plain child's
    fake.at(edit).props["PROCADDR"] = 50;
    fake.at(inner).props["PROCADDR"] = 60;
    MSkinButton skin({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, dialog), 1);
    for (auto [h, procedure] : {std::pair{label, 30}, {edit, 50}, {inner, 60}}) {
        const auto id = std::to_string(h);
        EXPECT_EQ(fake.count("removeProp " + id + " PROCADDR"), 1) << id;
        EXPECT_EQ(fake.count("setWindowProc " + id + " " + std::to_string(procedure)), 1) << id;
        EXPECT_EQ(fake.count("ncPaint " + id), 1) << id;
    }
    EXPECT_EQ(fake.at(label).props, (Props{{"HDC0", 31}}));
    EXPECT_TRUE(fake.at(button).props.empty());
    EXPECT_EQ(fake.count("killTimer 2 9"), 1);
    EXPECT_EQ(fake.count("ncPaint 1") + fake.count("ncPaint " + std::to_string(plain)), 0);
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_EQ(skin.state().forms, 0);  // the inner form did not count
    // The button's release left the form skinned, so the shared context waited for the form.
    const Log changes = fake.changes();
    EXPECT_EQ(Log(changes.end() - 2, changes.end()), (Log{"setWindowProc 1 10", "deleteDc 900"}));
    EXPECT_EQ(fake.count("deleteDc 900"), 1);

    // An unskinned form still releases its children but returns 0 and keeps the shared context.
    FakeLayer other;
    const auto form = other.add("Form");
    skinButton(other, other.add("Button", form), 20, 0);
    MSkinButton second({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});
    EXPECT_EQ(second.release(other, form), 0);
    EXPECT_TRUE(other.at(2).props.empty());
    EXPECT_EQ(second.state().forms, 1);
    EXPECT_TRUE(second.state().sharedDcExists);
    EXPECT_EQ(other.count("deleteDc 900"), 0);
}

}  // namespace
