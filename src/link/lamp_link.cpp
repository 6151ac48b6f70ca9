#include "link/lamp_link.hpp"

#include <algorithm>
#include <vector>

namespace lumora {

LampLink::LampLink(SerialLine& line, const Clock& clock, std::function<void(const UserText&)> onStateChange)
    : line_(line), clock_(clock), onStateChange_(std::move(onStateChange))
{
}

void LampLink::open()
{
    try {
        line_.open();
    } catch (const LinkError& e) {
        if (e.kind() != LinkError::Kind::Absent)
            throw;
        lastAttempt_ = clock_.now();
        report(stateAfter(e));
        return;
    }
    connected_ = true;
    lineStamp_ = clock_.now();
}

double LampLink::backlog() const
{
    const double elapsed = std::chrono::duration<double>(clock_.now() - lineStamp_).count();
    double estimate = std::max(0.0, lineBytes_ - elapsed * kLineBytesPerSecond);
    // A real serial driver knows what it still holds; a pseudo-terminal reports 0 and the
    // estimate from the line's speed stands.
    if (connected_)
        estimate = std::max(estimate, static_cast<double>(line_.pending())); // -1 or 0: the estimate stands
    return estimate + static_cast<double>(queue_.size());
}

std::chrono::nanoseconds LampLink::untilBacklogAtMost(double bytes) const
{
    const double excess = connected_ ? backlog() - bytes : 0.0;
    if (excess <= 0.0)
        return {};
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(excess / kLineBytesPerSecond));
}

bool LampLink::beginTick()
{
    tickOpen_ = false;
    if (!connected_)
        tryReopen();
    flush();
    if (!connected_)
        return false;
    if (!queue_.empty() || backlog() > kBacklogBound) {
        ++skippedTicks_;
        return false;
    }
    tickOpen_ = true;
    tickStart_ = clock_.now();
    return true;
}

void LampLink::sendPeriodic(const Packet& packet)
{
    // Also when a caller goes on after a refused tick: the line never takes more than it carries.
    if (!tickOpen_ || !connected_)
        return;
    const bool lineRunsDry = queue_.empty()
        && std::chrono::duration<double>(backlog() / kLineBytesPerSecond) < lastTickLength_;
    accept(packet);
    if (lineRunsDry)
        flush();
}

void LampLink::endTick()
{
    if (!tickOpen_)
        return;
    flush();
    tickOpen_ = false;
    lastTickLength_ = clock_.now() - tickStart_;
}

void LampLink::sendCommand(const Packet& packet)
{
    if (!connected_)
        return;
    enqueue(packet);
}

void LampLink::enqueue(const Packet& packet)
{
    accept(packet);
    flush();
}

void LampLink::accept(const Packet& packet)
{
    queue_.insert(queue_.end(), packet.begin(), packet.end());
    if (packet[0] < lastZones_.size())
        lastZones_[packet[0]] = {packet[1], packet[2], packet[3]};
}

void LampLink::flush()
{
    if (!connected_ || queue_.empty())
        return;
    std::size_t taken = 0;
    try {
        taken = line_.write(queue_);
    } catch (const LinkError& e) {
        fail(e);
        return;
    }
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(taken));
    const auto now = clock_.now();
    const double elapsed = std::chrono::duration<double>(now - lineStamp_).count();
    lineBytes_ = std::max(0.0, lineBytes_ - elapsed * kLineBytesPerSecond) + static_cast<double>(taken);
    lineStamp_ = now;
}

void LampLink::fail(const LinkError& error)
{
    line_.close();
    connected_ = false;
    queue_.clear();
    lineBytes_ = 0.0;
    lastAttempt_ = clock_.now();
    report(stateAfter(error));
}

void LampLink::tryReopen()
{
    const auto now = clock_.now();
    if (now - lastAttempt_ < kReopenInterval)
        return;
    lastAttempt_ = now;
    try {
        line_.open();
    } catch (const LinkError& e) {
        report(stateAfter(e));
        return;
    }
    connected_ = true;
    reconnected_ = true;
    lineStamp_ = now;
    lineBytes_ = 0.0;
    report({});
}

UserText LampLink::stateAfter(const LinkError& error) const
{
    switch (error.kind()) {
    case LinkError::Kind::Absent: {
        const UserText sought = line_.sought();
        return {"Жду плату: " + sought.ru, "waiting for the board: " + sought.en};
    }
    case LinkError::Kind::Unusable:
        return {"Порт платы недоступен, пробую снова", error.what()};
    case LinkError::Kind::Lost:
        break;
    }
    return {"Плата не подключена, жду её", error.what()};
}

void LampLink::report(UserText state)
{
    if (state == problem_)
        return;
    problem_ = std::move(state);
    if (onStateChange_)
        onStateChange_(problem_);
}

bool LampLink::takeReconnected()
{
    const bool was = reconnected_;
    reconnected_ = false;
    return was;
}

bool LampLink::drain(std::chrono::milliseconds bound)
{
    const auto deadline = clock_.now() + bound;
    // Hand every queued byte to the line, then give the line the time its speed needs.
    while (connected_ && !queue_.empty() && clock_.now() < deadline) {
        clock_.sleepFor(std::chrono::milliseconds(1));
        flush();
    }
    if (!connected_ || !queue_.empty())
        return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_.now());
    if (!line_.drain(std::max(left, std::chrono::milliseconds(0))))
        return false;
    // A driver may report its queue empty while the last bytes are still on the wire.
    while (backlog() > 0.0 && clock_.now() < deadline)
        clock_.sleepFor(std::chrono::milliseconds(1));
    return backlog() <= 0.0;
}

bool LampLink::shutdown(std::chrono::milliseconds bound)
{
    const bool done = drain(bound);
    if (line_.isOpen())
        line_.close();
    connected_ = false;
    return done;
}

} // namespace lumora
