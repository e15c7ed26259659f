// The skin release over real widgets: the untouched main window, and a button given the properties.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "skinlayer.h"

namespace {

using gui::handleOf;
using gui::QtWindowLayer;

const char* const conventionProps[] = {"PROCADDR", "HDC0", "HDC1", "HDC2", "HDC3", "BMP0",
                                       "BMP1", "BMP2", "BMP3", "TIMERID", "MOUSEFLAG",
                                       "OLDSTATE", "ALPHALEVEL"};

// A small main window: buttons straight on it and inside a frame, a label, a radio button.
struct MainWindow {
    QWidget window;
    QGroupBox* frame = new QGroupBox("Frame2", &window);
    QPushButton* start = new QPushButton("start", &window);
    QPushButton* pick = new QPushButton("...", frame);
    QRadioButton* option = new QRadioButton("A", frame);
    QLabel* label = new QLabel("link", &window);
};

TEST(QtSkinLayer, ClassNamesAndDescendants) {
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
}

TEST(QtSkinLayer, ReleaseOverThePlainMainWindowChangesNothing) {
    MainWindow w;
    w.window.show();
    const auto namesBefore = w.start->dynamicPropertyNames();

    EXPECT_EQ(skin::MSkinButton::instance().release(QtWindowLayer{}, handleOf(&w.window)), 0);

    for (QWidget* widget : w.window.findChildren<QWidget*>()) {
        for (const char* name : conventionProps)
            EXPECT_FALSE(widget->property(name).isValid()) << name << " on " << widget->metaObject()->className();
        EXPECT_TRUE(widget->isEnabled());
        EXPECT_TRUE(widget->isVisible());
    }
    EXPECT_EQ(w.start->dynamicPropertyNames(), namesBefore);
    EXPECT_EQ(w.start->text(), "start");
    EXPECT_TRUE(w.window.isVisible());
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
    EXPECT_EQ(skin.state().buttons, 0);
    EXPECT_EQ(skin.state().forms, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
