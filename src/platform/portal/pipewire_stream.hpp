// One video stream of a PipeWire node, received on PipeWire's own thread: the newest frame's buffer
// is kept from the producer and sampled in place by the tick.
#pragma once

#include "platform/portal/portal_frame.hpp"
#include "platform/posix/unique_fd.hpp"
#include "sampling/screen.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace lumora {

class PipeWireStream {
public:
    enum class State {
        Connecting, // negotiating with the node
        Running,    // frames may arrive (only when the screen changes)
        Stopped,    // the node, the stream or the connection went away, or the frames cannot be
                    // read; it does not come back
    };

    struct Status {
        State state = State::Connecting;
        ScreenSize size;    // of the newest picture (the region a crop leaves), or of the negotiated
                            // frames before the first; {0, 0} until negotiated
        std::string format; // the negotiated pixel layout, for messages
        std::string reason; // why it stopped, as said of the stream ("its node went away")
    };

    // Connects through `remote` (a connection to the PipeWire daemon, such as the desktop portal
    // hands out) to the node `node`, and starts PipeWire's thread. Throws std::runtime_error when
    // PipeWire cannot even set up the stream; a stream that fails later reports Stopped.
    PipeWireStream(UniqueFd remote, std::uint32_t node);
    // Gives the held buffer back, stops the thread, then releases the stream, the node watch, the
    // connection and the context.
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    Status status() const;

    // Fills the snapshots from the newest frame, as fillSnapshot does (every point failed before
    // the first); the frame stays until a newer one arrives, however long the screen stays still.
    void sample(std::span<Snapshot* const> snapshots) const;
    // Frames received so far.
    std::uint64_t frames() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumora
