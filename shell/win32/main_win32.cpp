// PLACEHOLDER entry point until the Windows program lands: shows message 1 and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char title[1024];
  LoadStringA(instance, 1, title, sizeof title);
  MessageBoxA(nullptr, title, title, MB_OK);
  return 0;
}
