// The board's serial line on a POSIX tty: raw, 19200 baud, 8N1, non-blocking, held exclusively.
#pragma once

#include "link/serial_line.hpp"
#include "platform/posix/unique_fd.hpp"

namespace lumora {

class SerialPort final : public SerialLine {
public:
    explicit SerialPort(std::string path) : path_(std::move(path)) {}

    void open() override;
    bool isOpen() const override { return static_cast<bool>(fd_); }
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    long pending() const override;
    bool drain(std::chrono::milliseconds timeout) override;
    void close() override { fd_.reset(); }
    const std::string& path() const override { return path_; }
    UserText sought() const override { return {path_, path_}; }

private:
    std::string path_;
    UniqueFd fd_;
};

// The failure to open `path` with `error` (errno), naming the port, the reason and the fix: Absent
// for a port that is not there, Unusable otherwise.
LinkError openError(const std::string& path, int error);

} // namespace lumora
