// One video stream of a PipeWire node, read on PipeWire's own thread: each frame that arrives is
// copied whole into a FrameMailbox, where the tick takes the newest one.
#pragma once

#include "platform/portal_frame.hpp"
#include "platform/posix/unique_fd.hpp"
#include "sampling/screen.hpp"

#include <cstdint>
#include <memory>
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
        ScreenSize size;    // of the negotiated frames; {0, 0} until negotiated
        std::string format; // the negotiated pixel layout, for messages
        std::string reason; // why it stopped
    };

    // Connects through `remote` (a connection to the PipeWire daemon, such as the desktop portal
    // hands out) to the node `node`, and starts PipeWire's thread. Throws std::runtime_error when
    // PipeWire cannot even set up the stream; a stream that fails later reports Stopped.
    PipeWireStream(UniqueFd remote, std::uint32_t node, FrameMailbox& mailbox);
    // Stops the thread, then releases the stream, the node watch, the connection and the context.
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    Status status() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumora
