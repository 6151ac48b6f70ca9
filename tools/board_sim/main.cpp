// lumora-board-sim: the lamp board on a pseudo-terminal, for running the driver without hardware.
#include "board_reader.hpp"
#include "board_window.hpp"
#include "decoder.hpp"
#include "options.hpp"
#include "platform/posix/pseudo_terminal.hpp"
#include "platform/posix/signal_watcher.hpp"
#include "published_link.hpp"

#include <QApplication>
#include <QCoreApplication>

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace lumora::sim;

namespace {

// One line per packet, flushed at once, so a reader on a pipe sees each packet as it arrives.
void dumpPacket(const Packet& p)
{
    std::printf("%u %u %u %u %u\n", unsigned{p.channel}, unsigned{p.red}, unsigned{p.green}, unsigned{p.blue},
                unsigned{kEndMark});
    std::fflush(stdout);
}

// The same line with the time the packet was read, on the clock that other programs on this
// machine can stamp their own events with, so a benchmark can set the two side by side.
void dumpTimedPacket(const Packet& p)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("%u %u %u %u %u %lld.%06ld\n", unsigned{p.channel}, unsigned{p.red}, unsigned{p.green},
                unsigned{p.blue}, unsigned{kEndMark}, static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    std::fflush(stdout);
}

int run(int argc, char** argv, const Options& options)
{
    // A reader of --dump that goes away must not kill the emulator before it removes its link.
    ::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<QCoreApplication> app = options.headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    // Watch for termination before the link exists, so no signal can leave it behind.
    lumora::SignalWatcher watcher;
    QObject::connect(&watcher, &lumora::SignalWatcher::terminationRequested, app.get(), [] { QCoreApplication::quit(); });

    lumora::PseudoTerminal port;
    PublishedLink link(options.linkPath, port.slavePath());
    Decoder decoder;
    BoardReader reader(port, decoder, options.pace, kLineBytesPerSecond,
                       options.dumpTimes ? BoardReader::PacketSink(dumpTimedPacket)
                       : options.dump    ? BoardReader::PacketSink(dumpPacket)
                                         : BoardReader::PacketSink());

    std::unique_ptr<BoardWindow> window;
    if (!options.headless) {
        QGuiApplication::setDesktopFileName("net.example.lumora.BoardSim"); // its (hidden) entry: name and icon
        window = std::make_unique<BoardWindow>(
            decoder, QStringLiteral("Port: %1 (pty %2)%3")
                         .arg(QString::fromStdString(link.path()), QString::fromStdString(port.slavePath()),
                              options.pace ? QStringLiteral(", paced at 1920 bytes/s") : QString()));
        QObject::connect(&reader, &BoardReader::updated, window.get(), &BoardWindow::onDecoderUpdated);
        window->show();
    }

    std::fprintf(stderr, "lumora-board-sim: emulated board on %s (pty %s)\n", link.path().c_str(),
                 port.slavePath().c_str());
    const int status = app->exec();
    window.reset();
    link.remove();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const ParseResult parsed = parseOptions(args);
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(parsed)) {
        std::fputs(versionText().c_str(), stdout);
        return 0;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "lumora-board-sim: %s (see --help)\n", error->message.c_str());
        return 2;
    }
    try {
        return run(argc, argv, std::get<Options>(parsed));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumora-board-sim: %s\n", e.what());
        return 1;
    }
}
