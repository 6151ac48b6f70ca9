// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop (self-pipe), so a program can
// end cleanly (switch the lamps off, remove a link) instead of dying inside a handler.
#pragma once

#include "platform/posix/unique_fd.hpp"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace lumora {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one watcher may exist at a time. Throws std::runtime_error.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void onPipeReadable();

    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace lumora
