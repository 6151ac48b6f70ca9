// The emulator's command line: a handful of flags and one path.
#include "options.hpp"

namespace lumora::sim {

ParseResult parseOptions(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h")
            return ShowHelp{};
        if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--dump") {
            options.dump = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--link") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return UsageError{"--link needs a path"};
            options.linkPath = args[++i];
        } else if (arg.rfind("--link=", 0) == 0) {
            options.linkPath = arg.substr(7);
            if (options.linkPath.empty())
                return UsageError{"--link needs a path"};
        } else {
            return UsageError{"unknown argument: " + arg};
        }
    }
    return options;
}

std::string helpText()
{
    return std::string(
               "Usage: lumora-board-sim [--link PATH] [--pace] [--dump] [--headless] [--help]\n"
               "\n"
               "Emulates the Lumora lamp board on a pseudo-terminal, so the driver can run\n"
               "without hardware. Point the driver at the link path as if it were the board's\n"
               "serial port.\n"
               "\n"
               "  --link PATH  publish the port as a symbolic link at PATH (default ")
        + kDefaultLinkPath
        + "); the link\n"
          "               is replaced atomically at start and removed on exit\n"
          "  --pace       read at the real line's speed (19200 baud, 8N1: 1920 bytes/s), so\n"
          "               the writer meets the same backpressure as on the board\n"
          "  --dump       print every packet on standard output as five decimal numbers,\n"
          "               one packet per line, for example: 3 0 255 0 13\n"
          "  --headless   run without a window\n"
          "  --help       show this text\n"
          "\n"
          "Packets are 5 bytes: channel, red, green, blue, 13. Channels 0, 1, 2 are the left,\n"
          "top and right lamp zones; channel 3 is the keyboard backlight, its level in the\n"
          "green byte. Framing is by length alone, as in the firmware: 5 bytes whose last is\n"
          "13 and whose first is 0..3 make a packet. Anything else counts as one badly framed\n"
          "packet, and the receiver resynchronises by dropping bytes up to and including the\n"
          "next 13 (the first among the 5 collected, or the next to arrive). Levels may be 13,\n"
          "so a resync can misframe a few packets before the stream settles.\n"
          "\n"
          "The window shows a monitor with its left, top and right lamp strips in their\n"
          "current colours, the keyboard backlight level, packets per second per channel and\n"
          "the count of badly framed packets. SIGINT or SIGTERM ends the emulator cleanly.\n";
}

} // namespace lumora::sim
