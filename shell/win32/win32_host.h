// The Host over the Win32 API: "system.ini", the registry (32-bit view), the current
// directory, the menu program's window, message boxes, the two dialogs and the resources.
#pragma once

#include <windows.h>

#include "shell/host.h"
#include "shell/win32/resource_payloads.h"

class Win32Host final : public Host {
 public:
  explicit Win32Host(HINSTANCE instance);
  ~Win32Host() override;  // closes the install key if it is still open
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  void readProfileString(char* buffer, size_t capacity) override;
  void deleteProfileString() override;
  bool openInstallKey() override;
  bool readInstallPath(char* buffer, size_t capacity) override;
  void deleteInstallPath() override;
  void closeInstallKey() override;
  bool setCurrentDirectory(const char* path) override;
  void closeMenuProgram() override;
  int messageBox(void* owner, const char* text, const char* caption, unsigned type) override;
  int runProgressDialog(const RunInputs& inputs, RunResults& results) override;
  void showResultsDialog(const RunResults& results) override;
  const MessageSource& messages() override { return messages_; }
  const PayloadLookup& payloads() override { return payloads_; }
  FileIo& fileIo() override;

 private:
  HINSTANCE instance_;
  HKEY key_ = nullptr;
  StringTableMessages messages_;
  ResourcePayloads payloads_;
};
