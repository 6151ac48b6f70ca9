// The real window driven in-process: a fake serial line behind a real lamp link, a uniform screen,
// a scripted random source and an opener that only records what it was asked to open.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include "../unit/core_fakes.hpp"
#include "ui/main_window.hpp"

namespace lumora::test {

struct RecordingOpener final : UrlOpener {
    void open(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

class WindowTest : public testing::Test {
protected:
    // Started with its four timers stopped, so that a test drives every tick itself, and shown.
    WindowTest()
    {
        window->start();
        for (QTimer* t : window->findChildren<QTimer*>())
            t->stop();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The one widget of this name.
    template <typename T = QWidget>
    T* control(const char* name) const
    {
        const auto all = window->findChildren<T*>(name);
        EXPECT_EQ(all.size(), 1) << "controls named " << name;
        return all.value(0);
    }
    TabControl* tab() const { return control<TabControl>("Tab1"); }
    void click(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton, {}, control(name)->rect().center()); }
    void clickTab(int page) { QTest::mouseClick(tab()->bar(), Qt::LeftButton, {}, tab()->bar()->tabRect(page).center()); }
    ControllerState& state() { return window->controller().state(); }

    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    FakeScreen screen;
    ScriptedRandom random{std::vector<double>(1000, 0.5)};
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(link, screen, random, opener);
};

} // namespace lumora::test
