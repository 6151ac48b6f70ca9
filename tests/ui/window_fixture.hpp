// The real window driven in-process: a fake serial line behind a real lamp link, a uniform screen,
// a cycling random source and an opener that only records what it was asked to open.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
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

using PacketList = std::vector<std::vector<std::uint8_t>>;
inline std::vector<std::uint8_t> bytes(const Packet& p) { return {p.begin(), p.end()}; }

class WindowTest : public testing::Test {
protected:
    WindowTest() { window->start(); }

    // Stops the four timers so that a test drives every tick itself, and shows the window.
    void freezeAndShow()
    {
        for (const char* name : {"Timer1", "Timer2", "Timer3", "Timer4"})
            timer(name)->stop();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QTimer* timer(const char* name) const { return window->findChild<QTimer*>(name); }
    void fire(const char* name) { QMetaObject::invokeMethod(timer(name), "timeout"); }

    // The one widget of this name; fails the test when there is none or more than one.
    template <typename T = QWidget>
    T* control(const QString& name) const
    {
        const auto all = window->findChildren<QWidget*>(name);
        EXPECT_EQ(all.size(), 1) << "controls named " << name.toStdString();
        return all.size() == 1 ? qobject_cast<T*>(all.front()) : nullptr;
    }

    QSlider* slider(const QString& name) const { return control<QSlider>(name); }
    TabControl* tab() const { return control<TabControl>("Tab1"); }
    void click(const QString& button) { QTest::mouseClick(control<QAbstractButton>(button), Qt::LeftButton); }
    void clickTab(int page) { QTest::mouseClick(tab()->bar(), Qt::LeftButton, {}, tab()->bar()->tabRect(page).center()); }

    // One output tick, late enough that the line has carried the previous one (a full tick every
    // 10 ms is a little more than 19200 baud carries).
    void outputTick()
    {
        clock.advance(std::chrono::milliseconds(11));
        window->Timer1_Timer();
    }

    // The packets written since the last call.
    PacketList takePackets()
    {
        auto result = packets(line.written);
        line.written.clear();
        return result;
    }

    ControllerState& state() { return window->controller().state(); }

    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    UniformScreen screen;
    CyclingRandom random;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(link, screen, random, opener);
};

} // namespace lumora::test
