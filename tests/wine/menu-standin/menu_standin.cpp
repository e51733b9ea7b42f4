// Stand-in for the game's menu program: a window of the class "QuintorVarnok".
//
//   menu-standin.exe [<marker file> [<held file>]]
//
// Like the running menu program, it can keep a file open (the held file, opened for reading
// with read sharing only, so nobody can open it for writing). When the window receives
// WM_CLOSE it closes that file, writes the marker file (C:\standin-closed.txt by default) so a
// test can see that the close request arrived, and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

char g_markerPath[MAX_PATH] = "C:\\standin-closed.txt";
HANDLE g_heldFile = INVALID_HANDLE_VALUE;

void writeMarker() {
  std::FILE* marker = std::fopen(g_markerPath, "wb");
  if (marker == nullptr) return;
  std::fputs("WM_CLOSE\n", marker);
  std::fclose(marker);
}

LRESULT CALLBACK standinProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      if (g_heldFile != INVALID_HANDLE_VALUE) CloseHandle(g_heldFile);
      g_heldFile = INVALID_HANDLE_VALUE;
      writeMarker();
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  char heldPath[MAX_PATH] = "";
  if (commandLine != nullptr && commandLine[0] != 0) {
    const char* blank = std::strchr(commandLine, ' ');
    int markerLength = blank == nullptr ? static_cast<int>(std::strlen(commandLine))
                                        : static_cast<int>(blank - commandLine);
    std::snprintf(g_markerPath, sizeof g_markerPath, "%.*s", markerLength, commandLine);
    if (blank != nullptr) std::snprintf(heldPath, sizeof heldPath, "%s", blank + 1);
  }
  if (heldPath[0] != 0) {
    g_heldFile = CreateFileA(heldPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_heldFile == INVALID_HANDLE_VALUE) return 2;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = standinProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "QuintorVarnok";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, "QuintorVarnok", "Varnok menu stand-in", WS_OVERLAPPEDWINDOW, 20,
                                20, 320, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
