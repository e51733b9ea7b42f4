// Messages by number, and bounded text handling.
//
// The engine and the shell ask for texts only by number; which text a number holds is the
// edition's data. In the Windows build a MessageSource reads the executable's string table, in
// the native build it reads the same catalogue compiled in.
#pragma once

#include <cstddef>

constexpr size_t kMessageBufferSize = 1024;  // message buffer, line buffer, captions
constexpr size_t kResultsLogSize = 4096;     // results log, terminating NUL included

// Message numbers of the catalogue.
enum MessageId : int {
  kMsgTitleCaption = 1,
  kMsgErrorCaption = 4,
  kMsgInstallDirNotFound = 5,
  kMsgCancelQuestion = 6,
  kMsgCancelCaption = 7,
  kMsgNotFound = 8,
  kMsgUpToDate = 9,
  kMsgNotRecognised = 10,
  kMsgPatched = 11,
  kMsgResultsHeading = 12,
  kMsgChecking = 13,
  kMsgUpdating = 14,
  kMsgInternalError = 15,
  kMsgMayBeCorrupt = 16,
  kMsgInstallDirGone = 17,
  kMsgScreenSaverRepaired = 18,
  kMsgOpenFailed = 21,
  kMsgProblems = 22,
  kMsgNotInstalled = 23,
  kMsgUnrecognisedVersion = 24,
  kMsgRemoveQuestion = 25,
  kMsgAddQuestion = 26,
  kMsgAdded = 27,
  kMsgPass = 28,
  kMsgRemoved = 29,
};

class MessageSource {
 public:
  virtual ~MessageSource() = default;
  // Copies message `number` into `buffer` (capacity > 0), cut to fit and always NUL-terminated.
  // A number the catalogue lacks leaves an empty string.
  virtual void load(int number, char* buffer, size_t capacity) const = 0;
};

// One text of a compiled-in catalogue.
struct CatalogueEntry {
  int number;
  const char* text;
};

// A MessageSource over a compiled-in catalogue.
class CatalogueMessages final : public MessageSource {
 public:
  CatalogueMessages(const CatalogueEntry* entries, int count) : entries_(entries), count_(count) {}
  void load(int number, char* buffer, size_t capacity) const override;
  // The text of `number`, or null when the catalogue lacks it.
  const char* find(int number) const;

 private:
  const CatalogueEntry* entries_;
  int count_;
};

// Copies `text` into `buffer`, cut to fit; always NUL-terminated when capacity > 0.
void copyBounded(char* buffer, size_t capacity, const char* text);

// Appends `text` to the NUL-terminated `buffer`, cut at the buffer's end; stays terminated.
void appendBounded(char* buffer, size_t capacity, const char* text);

// Formats a message into `buffer`, cut to fit and terminated: "%s" becomes `path`, "%d"
// becomes `number`; nothing else in the text is interpreted.
void formatWithPath(char* buffer, size_t capacity, const char* format, const char* path);
void formatWithNumber(char* buffer, size_t capacity, const char* format, int number);
