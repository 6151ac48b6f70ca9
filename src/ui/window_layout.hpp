// The window's look: its frame and every control as rows of one table, created by one loop.
#pragma once

namespace lumora {

class MainWindow;

// Gives the window its title, icon, fixed size and font, then creates its controls in the table's
// order, each at its default and with its events bound to the window's handlers. That order is
// also the order in which siblings stack and in which focus visits a page's controls. Focus starts
// on OFF.
void buildWindow(MainWindow& window);

} // namespace lumora
