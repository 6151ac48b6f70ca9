// The real window driven in-process: a fake serial line behind a real lamp link, a uniform screen,
// a cycling random source and an opener that only records what it was asked to open.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../unit/core_fakes.hpp"
#include "support/support.hpp"
#include "ui/main_window.hpp"

namespace lumora::test {

class RecordingOpener final : public UrlOpener {
public:
    void open(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

// Twips to pixels at 96 dpi, as the window lays itself out.
constexpr int px(int twips) { return twips / 15; }

class WindowTest : public testing::Test {
protected:
    WindowTest()
    {
        window = std::make_unique<MainWindow>(link, screen, random, opener);
        window->start();
    }

    // Stops the four timers so that a test drives every tick itself.
    void freezeTimers()
    {
        for (const char* name : {"Timer1", "Timer2", "Timer3", "Timer4"})
            timer(name)->stop();
    }

    QTimer* timer(const char* name) const
    {
        auto* t = window->findChild<QTimer*>(name);
        EXPECT_NE(t, nullptr) << name;
        return t;
    }

    // The one widget of this name; fails the test when there is none or more than one.
    template <typename T = QWidget>
    T* control(const QString& name) const
    {
        const auto all = window->findChildren<QWidget*>(name);
        EXPECT_EQ(all.size(), 1) << "controls named " << name.toStdString();
        if (all.isEmpty())
            return nullptr;
        auto* typed = qobject_cast<T*>(all.front());
        EXPECT_NE(typed, nullptr) << name.toStdString() << " is a " << all.front()->metaObject()->className();
        return typed;
    }

    QSlider* slider(const QString& name) const { return control<QSlider>(name); }
    TabControl* tab() const { return control<TabControl>("Tab1"); }

    void click(const QString& buttonName) { QTest::mouseClick(control<QAbstractButton>(buttonName), Qt::LeftButton); }

    void clickTab(int page)
    {
        QTabBar* bar = tab()->bar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    }

    // One output tick, 10 ms after the previous one as the line sees it.
    void outputTick()
    {
        clock.advance(std::chrono::milliseconds(10));
        window->Timer1_Timer();
    }

    // The packets written since the last call.
    std::vector<std::vector<std::uint8_t>> takePackets()
    {
        auto result = packets(line.written);
        line.written.clear();
        return result;
    }

    // Shows the window and waits until the X server has it on the screen.
    void showWindow()
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    ControllerState& state() { return window->controller().state(); }

    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    UniformScreen screen;
    CyclingRandom random;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window;
};

inline std::vector<std::uint8_t> bytes(const Packet& p) { return {p.begin(), p.end()}; }

} // namespace lumora::test
