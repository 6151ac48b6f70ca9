// Reading the emulated port. Idle costs nothing: the reader sleeps on the master descriptor and,
// when pacing, runs its budget timer only while bytes are waiting.
#include "board_reader.hpp"

#include <algorithm>
#include <array>

namespace lumora::sim {

namespace {

// A real line hands over each byte as it arrives (0.52 ms apart); reading in slices of 2 ms keeps
// the emulator's own delay close to that without waking up too often.
constexpr int kPaceIntervalMs = 2;
// A paced read never takes more than the line carries in this long, so a late timer tick does not
// turn into a burst the real line could not have delivered.
constexpr double kMaxBudgetSeconds = 0.03;
// An unpaced read hands control back to the event loop after this many bytes.
constexpr std::size_t kMaxBytesPerWakeUp = 64 * 1024;
// After a hang-up (no slave open) the port is looked at again this often, not continuously.
constexpr int kHangUpRetryMs = 200;

} // namespace

BoardReader::BoardReader(PseudoTerminal& port, Decoder& decoder, bool pace, int bytesPerSecond,
                         PacketSink sink, QObject* parent)
    : QObject(parent), port_(port), decoder_(decoder), pace_(pace),
      bytesPerSecond_(bytesPerSecond), sink_(std::move(sink)),
      notifier_(port.masterFd(), QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this, &BoardReader::onReadable);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    paceTimer_.setInterval(kPaceIntervalMs);
    connect(&paceTimer_, &QTimer::timeout, this, &BoardReader::onPaceTick);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(kHangUpRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &BoardReader::retryAfterHangUp);
}

void BoardReader::onReadable()
{
    if (!pace_) {
        drain(kMaxBytesPerWakeUp);
        return;
    }
    // Bytes are waiting: hand over to the budget timer until the port runs dry again.
    notifier_.setEnabled(false);
    budget_ = 0;
    lastRefill_ = std::chrono::steady_clock::now();
    paceTimer_.start();
}

void BoardReader::onPaceTick()
{
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - lastRefill_).count();
    lastRefill_ = now;
    budget_ = std::min(budget_ + elapsed * bytesPerSecond_, kMaxBudgetSeconds * bytesPerSecond_);
    const auto whole = static_cast<std::size_t>(budget_);
    if (whole == 0)
        return;
    const std::size_t got = drain(whole);
    budget_ -= static_cast<double>(got);
    if (got == 0 && !hungUp_)
        goIdle();
}

void BoardReader::goIdle()
{
    paceTimer_.stop();
    notifier_.setEnabled(true);
}

std::size_t BoardReader::drain(std::size_t limit)
{
    std::array<std::uint8_t, 4096> buffer{};
    std::size_t total = 0;
    while (total < limit) {
        const auto result = port_.read(buffer.data(), std::min(buffer.size(), limit - total));
        if (result.hangUp) {
            onHangUp();
            break;
        }
        if (result.bytes == 0)
            break;
        total += result.bytes;
        for (const Packet& p : decoder_.feed(std::span(buffer.data(), result.bytes)))
            if (sink_)
                sink_(p);
    }
    if (total > 0)
        emit updated();
    return total;
}

void BoardReader::onHangUp()
{
    // A hang-up keeps the master readable forever; stop listening so it cannot spin the loop.
    hungUp_ = true;
    notifier_.setEnabled(false);
    paceTimer_.stop();
    retryTimer_.start();
}

void BoardReader::retryAfterHangUp()
{
    if (!port_.reopenSlave()) {
        retryTimer_.start();
        return;
    }
    hungUp_ = false;
    notifier_.setEnabled(true);
}

} // namespace lumora::sim
