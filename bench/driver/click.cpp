// lumora-bench-click: clicks a point of a program's window on $DISPLAY, as a user would, for the
// benchmark scripts.
//   lumora-bench-click PID TITLE X Y      (X, Y inside the window)
#include <cstdio>
#include <cstdlib>

#include "support/x11_input.hpp"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: lumora-bench-click PID TITLE X Y\n");
        return 2;
    }
    lumora::test::X11Input input;
    const auto window = input.waitForWindow(std::atoi(argv[1]), argv[2]);
    if (!window) {
        std::fprintf(stderr, "lumora-bench-click: no window '%s' of process %s\n", argv[2], argv[1]);
        return 1;
    }
    input.click(*window, std::atoi(argv[3]), std::atoi(argv[4]));
    input.sync();
    return 0;
}
