// Placement shared by the two dialogs.
#pragma once

#include <windows.h>

// Centres `window` on the screen. Dialogs are laid out at (0, 0), so the right and bottom
// edges of the window rectangle are its outer width and height.
void centreOnScreen(HWND window);
