// Private Xvfb servers for tests that read a real screen, and a painter that puts known colours
// into a server's root window.
#pragma once

#include "support/support.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// An Xvfb server of this test's own: `Xvfb [:number] -displayfd FD -noreset -s 0 -nolisten tcp
// <extraArgs>`, e.g. extraArgs {"-screen", "0", "1280x1024x24"} or {"-extension", "MIT-SHM"}.
// The constructor returns once the server accepts connections and throws if it does not come
// up; without a number the server picks a free display itself.
class Xvfb {
public:
    explicit Xvfb(const std::vector<std::string>& extraArgs = {}, std::optional<int> number = std::nullopt);
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    ~Xvfb(); // ends the server in order (SIGTERM, then SIGKILL if it lingers)

    const std::string& display() const { return display_; } // ":N"
    int number() const { return number_; }
    int pid() const { return process_.pid(); }
    // Ends the server at once, as a crash would (SIGKILL), and waits until it is gone.
    void kill() { process_.kill(); }

private:
    Process process_;
    std::string display_;
    int number_ = -1;
};

// A client of a display that paints into its root window, over any windows (IncludeInferiors).
class RootPainter {
public:
    explicit RootPainter(const std::string& display); // throws if it cannot connect
    RootPainter(const RootPainter&) = delete;
    RootPainter& operator=(const RootPainter&) = delete;
    ~RootPainter();

    // Fills the rectangle with `colour` (red in the lowest byte, then green, then blue), turned
    // into the screen's pixel layout by its visual's masks. Returns once the server has done it,
    // so that any other client sees the colour afterwards. Throws if the server refuses.
    void fill(int x, int y, int width, int height, std::uint32_t colour);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace lumora::test
