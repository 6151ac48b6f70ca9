// The program's icon: a small monitor whose left, top and right edges glow.
#pragma once

#include <QIcon>

namespace lumora {

// Drawn at whatever size is asked, so it stays sharp from 16 pixels up.
QIcon appIcon();

} // namespace lumora
