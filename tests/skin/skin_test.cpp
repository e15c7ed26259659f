// The skin release over a pretend window tree: what it visits, what it frees and in which order.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_layer.h"
#include "skin/skin.h"

namespace {

using skin::MSkinButton;
using skin::SkinState;
using skin::WindowKind;
using skintest::FakeLayer;
using Log = std::vector<std::string>;

constexpr skin::Value sharedDc = 900;

// Gives `h` every property a skinned button carries: HDCk = 100+k, BMPk = 200+k.
void skinButton(FakeLayer& fake, skin::Handle h, skin::Value procedure, skin::Value timer) {
    auto& props = fake.at(h).props;
    props["PROCADDR"] = procedure;
    for (int k = 0; k < 4; ++k) {
        props["HDC" + std::to_string(k)] = 100 + k;
        props["BMP" + std::to_string(k)] = 200 + k;
    }
    props["TIMERID"] = timer;
    props["MOUSEFLAG"] = 1;
    props["OLDSTATE"] = 2;
    props["ALPHALEVEL"] = 255;
    fake.at(h).style = 0x5001000B;  // visible, tab stop, owner-drawn
}

int count(const Log& log, const std::string& line) {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
}

TEST(SkinKind, ClassNamesMatchInAnyLetterCaseAndNothingElse) {
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
    const auto text = fake.add("ThunderRT6TextBox", frame);
    const auto exit = fake.add("ThunderRT6CommandButton", main);
    fake.at(start).props["HDC0"] = 5;  // stray properties without PROCADDR are not a skin
    fake.at(start).style = 0x5001000B;
    const auto before = fake.windows;
    MSkinButton skin({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, main), 0);

    for (auto h : {main, frame, start, text, exit})
        EXPECT_EQ(count(fake.log, "class " + std::to_string(h)), 1) << "window " << h;
    EXPECT_EQ(fake.changes(), Log{});
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(fake.windows[i].props, before[i].props);
        EXPECT_EQ(fake.windows[i].style, before[i].style);
    }
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
    EXPECT_EQ(fake.log, Log{"class " + std::to_string(box)});
    EXPECT_EQ(skin.state().buttons, 2);

    // A class name the layer cannot read is empty, and an empty name is no class either.
    fake.log.clear();
    fake.classNameThrows = true;
    EXPECT_EQ(skin.release(fake, child), 0);
    EXPECT_EQ(fake.changes(), Log{});
    EXPECT_EQ(skin.release(fake, 0), 0);
}

TEST(SkinRelease, SkinnedButtonIsTakenApartInOrder) {
    FakeLayer fake;
    const auto button = fake.add("THUNDERCOMMANDBUTTON");
    skinButton(fake, button, 4000, 7);
    fake.at(button).props["CAPTIONCOLOR"] = 3;  // not the convention's: stays
    MSkinButton skin({.buttons = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, button), 1);

    // "HDC"k goes to the delete-object call, "BMP"k to the delete-device-context call.
    const Log expected = {
        "deleteObject 100", "deleteDc 200", "removeProp 1 HDC0", "removeProp 1 BMP0",
        "deleteObject 101", "deleteDc 201", "removeProp 1 HDC1", "removeProp 1 BMP1",
        "deleteObject 102", "deleteDc 202", "removeProp 1 HDC2", "removeProp 1 BMP2",
        "deleteObject 103", "deleteDc 203", "removeProp 1 HDC3", "removeProp 1 BMP3",
        "setProp 1 TIMERID 0", "killTimer 1 7",
        "removeProp 1 MOUSEFLAG", "removeProp 1 TIMERID", "removeProp 1 OLDSTATE",
        "removeProp 1 ALPHALEVEL", "removeProp 1 PROCADDR",
        "setStyle 1", "clearRegion 1", "setWindowProc 1 4000", "invalidate 1",
        "deleteDc 900"};
    EXPECT_EQ(fake.changes(), expected);
    EXPECT_EQ(fake.at(button).style, 0x50010000u);  // owner-drawn back to a plain push button
    EXPECT_EQ(fake.at(button).props.size(), 1u);
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_FALSE(skin.state().sharedDcExists);
    EXPECT_EQ(skin.state().sharedDc, 0u);
}

TEST(SkinRelease, ButtonDetailsTimerStyleBitsAndEmptySlots) {
    FakeLayer fake;
    const auto button = fake.add("button");
    skinButton(fake, button, 4000, 0);
    fake.at(button).props.erase("HDC2");  // a slot the installer left empty
    fake.at(button).style = 0xABCDEFFF;
    MSkinButton skin({.buttons = 5});

    EXPECT_EQ(skin.release(fake, button), 1);
    const Log changes = fake.changes();
    for (const auto& line : changes) {
        EXPECT_EQ(line.rfind("killTimer", 0), std::string::npos) << "no timer to stop";
        EXPECT_NE(line, "setProp 1 TIMERID 0");
        EXPECT_NE(line, "deleteObject 0") << "nothing to free in an empty slot";
    }
    EXPECT_EQ(count(changes, "removeProp 1 HDC2"), 1);
    EXPECT_EQ(fake.at(button).style, 0xABCDEFF4u);  // bits 0, 1 and 3 only
    EXPECT_EQ(skin.state().buttons, 4);

    // Released once, the button is no longer skinned: a second release changes nothing.
    fake.log.clear();
    EXPECT_EQ(skin.release(fake, button), 0);
    EXPECT_EQ(fake.changes(), Log{});
    EXPECT_EQ(skin.state().buttons, 4);
}

TEST(SkinRelease, SharedContextGoesWithTheLastSkinnedWindowOnlyAndOnlyOnce) {
    FakeLayer fake;
    const auto first = fake.add("Button");
    const auto second = fake.add("Button");
    const auto third = fake.add("Button");
    for (auto h : {first, second, third}) skinButton(fake, h, 40 + h, 0);
    MSkinButton skin({.buttons = 2, .sharedDc = sharedDc, .sharedDcExists = true});

    skin.release(fake, first);
    EXPECT_EQ(count(fake.log, "deleteDc 900"), 0);
    EXPECT_TRUE(skin.state().sharedDcExists);
    skin.release(fake, second);
    EXPECT_EQ(count(fake.log, "deleteDc 900"), 1);
    EXPECT_FALSE(skin.state().sharedDcExists);
    // A button the counts did not know of drops them below zero; the context is already gone
    // and must not be freed a second time.
    EXPECT_EQ(skin.release(fake, third), 1);
    EXPECT_EQ(skin.state().buttons, -1);
    EXPECT_EQ(count(fake.log, "deleteDc 900"), 1);
    EXPECT_EQ(count(fake.log, "deleteDc 0"), 0);
}

TEST(SkinRelease, FormReleasesButtonsPlainChildrenAndItself) {
    FakeLayer fake;
    const auto dialog = fake.add("#32770");
    const auto button = fake.add("ThunderRT6CommandButton", dialog);
    const auto label = fake.add("Static", dialog);
    const auto frame = fake.add("ThunderRT6Frame", dialog);
    const auto edit = fake.add("Edit", frame);                  // grandchild
    const auto inner = fake.add("ThunderRT6FormDC", frame);     // a form inside is a plain child
    const auto plain = fake.add("Static", dialog);              // not skinned
    fake.at(dialog).props["PROCADDR"] = 10;
    skinButton(fake, button, 20, 9);
    fake.at(label).props = {{"PROCADDR", 30}, {"HDC0", 31}};    // only PROCADDR is a plain child's
    fake.at(edit).props["PROCADDR"] = 50;
    fake.at(inner).props["PROCADDR"] = 60;
    MSkinButton skin({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, dialog), 1);

    const Log changes = fake.changes();
    for (auto [h, procedure] : {std::pair{label, 30}, {edit, 50}, {inner, 60}}) {
        const auto id = std::to_string(h);
        EXPECT_EQ(count(changes, "removeProp " + id + " PROCADDR"), 1) << id;
        EXPECT_EQ(count(changes, "setWindowProc " + id + " " + std::to_string(procedure)), 1) << id;
        EXPECT_EQ(count(changes, "ncPaint " + id), 1) << id;
    }
    EXPECT_EQ(fake.at(label).props, (decltype(fake.at(label).props){{"HDC0", 31}}));
    EXPECT_TRUE(fake.at(button).props.empty());
    EXPECT_EQ(count(changes, "killTimer 2 9"), 1);
    EXPECT_EQ(count(changes, "setWindowProc 1 10"), 1);
    EXPECT_EQ(count(changes, "ncPaint 1"), 0);       // the form itself gets no frame repaint
    EXPECT_EQ(count(changes, "ncPaint " + std::to_string(plain)), 0);
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_EQ(skin.state().forms, 0);               // the inner form did not count

    // The button's release left the form skinned, so the shared context waited for the form.
    ASSERT_EQ(changes.back(), "deleteDc 900");
    EXPECT_EQ(count(changes, "deleteDc 900"), 1);
    EXPECT_EQ(changes[changes.size() - 2], "setWindowProc 1 10");
}

TEST(SkinRelease, UnskinnedFormStillReleasesItsChildrenButReturnsZero) {
    FakeLayer fake;
    const auto form = fake.add("Form");
    const auto button = fake.add("Button", form);
    skinButton(fake, button, 20, 0);
    MSkinButton skin({.buttons = 1, .forms = 1, .sharedDc = sharedDc, .sharedDcExists = true});

    EXPECT_EQ(skin.release(fake, form), 0);
    EXPECT_TRUE(fake.at(button).props.empty());
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_EQ(skin.state().forms, 1);
    EXPECT_TRUE(skin.state().sharedDcExists);  // a form is still skinned
    EXPECT_EQ(count(fake.log, "deleteDc 900"), 0);
}

}  // namespace
