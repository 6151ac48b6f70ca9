#include "control/session_pause.hpp"

namespace lumora {

bool SessionPause::enter(PauseReason reason)
{
    const bool wasDark = dark();
    reasons_ |= bit(reason);
    return dark() != wasDark;
}

bool SessionPause::leave(PauseReason reason)
{
    const bool wasDark = dark();
    reasons_ &= ~bit(reason);
    return dark() != wasDark;
}

std::optional<PauseReason> SessionPause::why() const
{
    for (const PauseReason reason : {PauseReason::Sleep, PauseReason::Shutdown, PauseReason::Locked})
        if (holds(reason) && !(reason == PauseReason::Locked && keepLitWhenLocked_))
            return reason;
    return std::nullopt;
}

UserText darkReasonText(PauseReason reason)
{
    switch (reason) {
    case PauseReason::Sleep:
        return {"Лампы погашены: компьютер засыпает", "the lamps are dark: the computer is going to sleep"};
    case PauseReason::Shutdown:
        return {"Лампы погашены: компьютер выключается", "the lamps are dark: the computer is shutting down"};
    case PauseReason::Locked:
        break;
    }
    return {"Лампы погашены: экран заблокирован", "the lamps are dark: the screen is locked"};
}

const char* darkReasonWord(PauseReason reason)
{
    switch (reason) {
    case PauseReason::Sleep:
        return "сон";
    case PauseReason::Shutdown:
        return "выкл.";
    case PauseReason::Locked:
        break;
    }
    return "замок";
}

} // namespace lumora
