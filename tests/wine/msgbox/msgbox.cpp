// The smallest Win32 program that asks one question: a baseline for the time from a process's
// start to its first window under Wine.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "Continue?", "Baseline", MB_YESNO | MB_ICONQUESTION);
  return 0;
}
