// Moves bytes from the emulated port into the decoder, either as fast as they come or at the real
// line's speed, on the Qt event loop.
#pragma once

#include "decoder.hpp"
#include "platform/posix/pseudo_terminal.hpp"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>

namespace lumora::sim {

class BoardReader : public QObject {
    Q_OBJECT
public:
    using PacketSink = std::function<void(const Packet&)>;

    // With `pace`, reads no more than `bytesPerSecond` on average; otherwise drains the port
    // whenever it is readable. `sink` sees every decoded packet in order.
    BoardReader(PseudoTerminal& port, Decoder& decoder, bool pace, int bytesPerSecond, PacketSink sink,
                QObject* parent = nullptr);

signals:
    // Some bytes were decoded (packets or bad frames); the decoder's state may have changed.
    void updated();

private:
    void onReadable();
    void onPaceTick();
    void onHangUp();
    void retryAfterHangUp();
    std::size_t drain(std::size_t limit); // reads and decodes up to `limit` bytes
    void goIdle();

    PseudoTerminal& port_;
    Decoder& decoder_;
    const bool pace_;
    const double bytesPerSecond_;
    PacketSink sink_;
    QSocketNotifier notifier_;
    QTimer paceTimer_;
    QTimer retryTimer_;
    double budget_ = 0; // bytes the line could have carried since the last paced read
    std::chrono::steady_clock::time_point lastRefill_;
    bool hungUp_ = false;
};

} // namespace lumora::sim
