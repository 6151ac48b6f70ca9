// The board's serial line on a POSIX tty: raw, 19200 baud, 8N1, non-blocking, held exclusively.
#pragma once

#include "link/serial_line.hpp"
#include "platform/posix/unique_fd.hpp"

namespace lumora {

class SerialPort final : public SerialLine {
public:
    // The port at `path`, as given.
    explicit SerialPort(std::string path) : path_(std::move(path)) {}
    // The one USB serial adapter listed in `folder` (see adapterFolder()), looked for again at
    // every open, so that a board that appears later or comes back under another name is found.
    static SerialPort adapterIn(std::string folder);

    void open() override;
    bool isOpen() const override { return static_cast<bool>(fd_); }
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    long pending() const override;
    bool drain(std::chrono::milliseconds timeout) override;
    void close() override { fd_.reset(); }
    const std::string& path() const override { return path_; }
    UserText sought() const override;

private:
    std::string adapterFolder_; // empty: path_ is the port as given
    // The port open or last tried: as given, or where the adapter's link led; the adapters' folder
    // while none is found.
    std::string path_;
    UniqueFd fd_;
};

// The failure to open `path` with `error` (errno), naming the port, the reason and the fix: Absent
// for a port that is not there, Unusable otherwise.
LinkError openError(const std::string& path, int error);

} // namespace lumora
