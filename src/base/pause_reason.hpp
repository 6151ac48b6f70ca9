// Why the desktop asks the lamps to go dark for a while: the session is about to sleep, the
// machine is about to shut down, or the screen is locked. Plain values, so that the rule of what
// the lamps do on each is written and tested without a bus.
#pragma once

namespace lumora {

enum class PauseReason { Sleep, Shutdown, Locked };

} // namespace lumora
