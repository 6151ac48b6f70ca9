// Drives other programs' windows on an X display as a user would: finds a process's window,
// clicks and drags in it through the XTEST extension, and asks it to close.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

class X11Input {
public:
    explicit X11Input(const std::string& display = {}); // empty: $DISPLAY; throws if it cannot connect
    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;
    ~X11Input();

    // Waits (bounded) for the viewable top-level window of process `pid` titled `title`.
    std::optional<std::uint32_t> waitForWindow(int pid, const std::string& title);

    // Left click at (x, y) inside the window.
    void click(std::uint32_t window, int x, int y);
    // Clicks into a text box at (x, y), empties it and types `text` (digits and letters).
    void replaceText(std::uint32_t window, int x, int y, const std::string& text);
    // Moves the window's top-left corner to (x, y) on the screen (there is no window manager).
    void move(std::uint32_t window, int x, int y);
    // Asks the window to close, as a window manager's close button does.
    void close(std::uint32_t window);
    // Waits until the server has handled everything sent so far.
    void sync();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace lumora::test
