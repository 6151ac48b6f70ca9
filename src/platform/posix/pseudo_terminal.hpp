// A pseudo-terminal standing in for a serial line: the holder plays the board's end (the master),
// and a program opens slavePath() as its serial port.
#pragma once

#include "platform/posix/unique_fd.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumora {

// The master side, non-blocking, with one slave descriptor kept open by the holder itself. That
// kept descriptor is what lets the program on the slave close and reopen its port at will: while
// any slave descriptor is open the master never sees a hang-up, so it neither reports POLLHUP
// forever nor fails reads with EIO between two of the program's sessions. The kept slave is raw
// at 19200 baud from the start, so a program that never sets the line up still sees 10 and 13
// pass unchanged, as on the board's UART; the program's own settings later replace these.
class PseudoTerminal {
public:
    PseudoTerminal(); // throws std::runtime_error naming the failed operation

    int masterFd() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

    struct ReadResult {
        std::size_t bytes = 0;
        bool hangUp = false; // no slave is open (EIO); reading again at once would spin
    };
    // Reads at most `max` bytes without blocking; 0 bytes and no hang-up means nothing is waiting.
    ReadResult read(std::uint8_t* buffer, std::size_t max);

    // Reopens the kept slave descriptor, ending a hang-up. Returns whether it could.
    bool reopenSlave();

    // Closes the board's end: the program's writes fail from then on, as when a board is unplugged.
    void closeMaster() { master_.reset(); }

private:
    UniqueFd master_;
    UniqueFd slaveKeep_;
    std::string slavePath_;
};

} // namespace lumora
