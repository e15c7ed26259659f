// The skin release over real widgets: the untouched main window, and widgets given the properties.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "skinlayer.h"

namespace {

using gui::handleOf;
using gui::QtWindowLayer;

const char* const conventionProps[] = {"PROCADDR",  "HDC0",     "HDC1",      "HDC2", "HDC3",
                                       "BMP0",      "BMP1",     "BMP2",      "BMP3", "TIMERID",
                                       "MOUSEFLAG", "OLDSTATE", "ALPHALEVEL"};

// A small main window: buttons straight on it and inside a frame, a label, a radio button.
struct MainWindow {
    QWidget window;
    QGroupBox* frame = new QGroupBox("Frame2", &window);
    QPushButton* start = new QPushButton("start", &window);
    QPushButton* pick = new QPushButton("...", frame);
    QRadioButton* option = new QRadioButton("A", frame);
    QLabel* label = new QLabel("link", &window);
};

TEST(QtSkinLayer, ClassNamesDescendantsAndAnUnskinnedWindowLeftAsItWas) {
    MainWindow w;
    QtWindowLayer layer;
    EXPECT_EQ(layer.className(handleOf(&w.window)), "form");
    EXPECT_EQ(layer.className(handleOf(w.start)), "button");
    EXPECT_EQ(layer.className(handleOf(w.option)), "button");
    EXPECT_EQ(layer.className(handleOf(w.frame)), "QGroupBox");
    EXPECT_EQ(layer.className(0), "");
    const auto all = layer.descendants(handleOf(&w.window));
    EXPECT_NE(std::find(all.begin(), all.end(), handleOf(w.pick)), all.end()) << "grandchild";
    EXPECT_EQ(all.size(), 5u);

    w.window.show();
    EXPECT_EQ(skin::MSkinButton::instance().release(layer, handleOf(&w.window)), 0);
    for (QWidget* widget : w.window.findChildren<QWidget*>()) {
        EXPECT_TRUE(widget->dynamicPropertyNames().isEmpty()) << widget->metaObject()->className();
        EXPECT_TRUE(widget->isEnabled() && widget->isVisible());
    }
    EXPECT_EQ(skin::MSkinButton::instance().state().buttons, 0);
}

TEST(QtSkinLayer, SkinPropertiesOnWidgetsAreTakenOff) {
    MainWindow w;
    for (const char* name : conventionProps) w.pick->setProperty(name, 7);
    w.pick->setProperty("TIMERID", w.pick->startTimer(100000));
    w.pick->setProperty("keep", QStringLiteral("mine"));
    w.label->setProperty("PROCADDR", 9);
    w.window.setProperty("PROCADDR", 3);
    skin::MSkinButton skin({.buttons = 1, .forms = 1});

    EXPECT_EQ(skin.release(QtWindowLayer{}, handleOf(&w.window)), 1);
    for (const char* name : conventionProps) EXPECT_FALSE(w.pick->property(name).isValid()) << name;
    EXPECT_EQ(w.pick->property("keep").toString(), "mine");
    EXPECT_FALSE(w.label->property("PROCADDR").isValid());
    EXPECT_FALSE(w.window.property("PROCADDR").isValid());
    EXPECT_EQ(skin.state().buttons + skin.state().forms, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
