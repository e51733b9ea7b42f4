#include "shell/win32/win32_host.h"

#include <climits>

#include "engine/file_io.h"
#include "shell/registry_value.h"
#include "shell/win32/progress_dialog.h"
#include "shell/win32/results_dialog.h"

// The Host's constants are the Win32 values, passed through unchanged.
static_assert(kBoxOk == MB_OK && kBoxYesNo == MB_YESNO && kBoxIconError == MB_ICONERROR &&
              kBoxIconQuestion == MB_ICONQUESTION && kBoxIconWarning == MB_ICONWARNING &&
              kBoxIconInformation == MB_ICONINFORMATION);
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

namespace {

DWORD clampToDword(size_t size) { return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size); }

}  // namespace

Win32Host::Win32Host(HINSTANCE instance)
    : instance_(instance), messages_(instance), payloads_(instance) {}

Win32Host::~Win32Host() { closeInstallKey(); }

void Win32Host::readProfileString(char* buffer, size_t capacity) {
  if (capacity == 0) return;
  GetPrivateProfileStringA(kProfileSection, kProfileKey, "", buffer, clampToDword(capacity),
                           kProfileFile);
}

void Win32Host::deleteProfileString() {
  WritePrivateProfileStringA(kProfileSection, kProfileKey, nullptr, kProfileFile);
}

bool Win32Host::openInstallKey() {
  // The game's installer is a 32-bit program: on 64-bit Windows its key is in the 32-bit view.
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0,
                                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY, &key);
  if (status != ERROR_SUCCESS) return false;
  key_ = key;
  return true;
}

bool Win32Host::readInstallPath(char* buffer, size_t capacity) {
  if (key_ == nullptr || capacity == 0) return false;
  DWORD size = clampToDword(capacity);
  const LONG status = RegQueryValueExA(key_, kInstallValue, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  if (status != ERROR_SUCCESS) return false;
  return terminateRegistryString(buffer, capacity, size);
}

void Win32Host::deleteInstallPath() {
  if (key_ != nullptr) RegDeleteValueA(key_, kInstallValue);
}

void Win32Host::closeInstallKey() {
  if (key_ == nullptr) return;
  RegCloseKey(key_);
  key_ = nullptr;
}

bool Win32Host::setCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

void Win32Host::closeMenuProgram() {
  HWND menu = FindWindowA(kMenuWindowClass, nullptr);
  if (menu != nullptr) SendMessageA(menu, WM_CLOSE, 0, 0);
}

int Win32Host::messageBox(void* owner, const char* text, const char* caption, unsigned type) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

int Win32Host::runProgressDialog(const RunInputs& inputs, RunResults& results) {
  return ::runProgressDialog(instance_, inputs, results);
}

void Win32Host::showResultsDialog(const RunResults& results) {
  ::showResultsDialog(instance_, results, messages_);
}

FileIo& Win32Host::fileIo() { return standardFileIo(); }
