// When the desktop asks for the lamps to be dark: the reasons that hold now, and which one the
// window shows. The lamps are dark while any reason holds (a lock is no reason for those who
// keep the lamps lit when locked) and light again when the last one ends.
#pragma once

#include <optional>

#include "base/pause_reason.hpp"
#include "base/user_text.hpp"

namespace lumora {

class SessionPause {
public:
    explicit SessionPause(bool keepLitWhenLocked = false) : keepLitWhenLocked_(keepLitWhenLocked) {}

    // Each returns whether the lamps change between lit and dark; a reason that already holds, or
    // one that does not, changes nothing (the desktop may say the same thing twice).
    bool enter(PauseReason reason);
    bool leave(PauseReason reason);

    bool dark() const { return why().has_value(); }
    bool holds(PauseReason reason) const { return (reasons_ & bit(reason)) != 0; }
    // The reason the window names: sleep before shut-down before the lock.
    std::optional<PauseReason> why() const;

private:
    static unsigned bit(PauseReason reason) { return 1u << static_cast<unsigned>(reason); }

    bool keepLitWhenLocked_;
    unsigned reasons_ = 0;
};

// Why the lamps are dark: a sentence for the board line and standard error.
UserText darkReasonText(PauseReason reason);
// The same in a word, for the middle of the status display where the rate stands otherwise.
const char* darkReasonWord(PauseReason reason);

} // namespace lumora
