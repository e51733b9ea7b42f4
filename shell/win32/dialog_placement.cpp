#include "shell/win32/dialog_placement.h"

void centreOnScreen(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - rect.right) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - rect.bottom) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
