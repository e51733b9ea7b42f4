// The Host: everything the start-up flow needs from the system, behind one interface.
//
// The Windows build implements it over the Win32 API (shell/win32/win32_host.h); native tests
// implement it with a script that records every box and answers every question. The flow
// itself never touches the system directly.
#pragma once

#include <cstddef>
#include <cstdint>

class FileIo;
class MessageSource;
class PayloadLookup;
struct RunInputs;
struct RunResults;

// Message box types and answers, with the values that the Windows message box uses, so the
// Win32 Host can pass them through unchanged.
enum BoxType : unsigned {
  kBoxOk = 0x0,
  kBoxYesNo = 0x4,
  kBoxIconError = 0x10,
  kBoxIconQuestion = 0x20,
  kBoxIconWarning = 0x30,
  kBoxIconInformation = 0x40,
};
enum BoxAnswer : int {
  kAnswerOk = 1,
  kAnswerYes = 6,
  kAnswerNo = 7,
};

// The end code of the progress dialog after a run that went through every row (the value of
// the Yes answer). Any other code means the run did not complete.
constexpr int kRunCompleted = 6;
// The end code after a confirmed Cancel (the value of the No answer).
constexpr int kRunCancelled = 7;

// "system.ini", its section and key that the screen-saver repair looks at.
inline constexpr const char* kProfileFile = "system.ini";
inline constexpr const char* kProfileSection = "boot";
inline constexpr const char* kProfileKey = "SCRNSAVE.EXE";

// The game's registry key (under HKEY_LOCAL_MACHINE) and its install-directory value.
inline constexpr const char* kInstallKey = "Software\\Kelvane Interactive\\Quintor Varnok Hits";
inline constexpr const char* kInstallValue = "Install Path";

// The window class of the game's full-screen menu program.
inline constexpr const char* kMenuWindowClass = "QuintorVarnok";

class Host {
 public:
  virtual ~Host() = default;

  // Reads the "system.ini" entry into `buffer` (capacity > 0, always terminated); a missing
  // entry reads as an empty string.
  virtual void readProfileString(char* buffer, size_t capacity) = 0;
  // Deletes the "system.ini" entry. The result is not reported.
  virtual void deleteProfileString() = 0;

  // Opens the install key. Returns false when it cannot be opened (nothing is then open).
  virtual bool openInstallKey() = 0;
  // Reads the install-path value of the open key into `buffer` as a terminated string.
  // Returns false when the value is missing or does not fit into `capacity` bytes with its
  // terminating zero.
  virtual bool readInstallPath(char* buffer, size_t capacity) = 0;
  // Deletes the install-path value through the open key. The result is not reported.
  virtual void deleteInstallPath() = 0;
  // Closes the open key.
  virtual void closeInstallKey() = 0;

  // Makes `path` the current directory. Returns false on failure.
  virtual bool setCurrentDirectory(const char* path) = 0;

  // Asks the first top-level window of the menu program's class, if any, to close and returns
  // once it has handled the request. Does not wait for the program to end.
  virtual void closeMenuProgram() = 0;

  // Shows a message box owned by `owner` (an opaque window handle; null for none, which is
  // what the start-up flow always passes) and returns the answer (a BoxAnswer).
  virtual int messageBox(void* owner, const char* text, const char* caption, unsigned type) = 0;

  // Shows the progress dialog, which runs the patch with `inputs` into `results` on a worker
  // thread. Returns kRunCompleted when the run went through every row; anything else when it
  // was cancelled or could not run.
  virtual int runProgressDialog(const RunInputs& inputs, RunResults& results) = 0;

  // Shows the results dialog over `results` until the user finishes it.
  virtual void showResultsDialog(const RunResults& results) = 0;

  // The edition's messages, the payloads and the file access the run uses.
  virtual const MessageSource& messages() = 0;
  virtual const PayloadLookup& payloads() = 0;
  virtual FileIo& fileIo() = 0;
};
