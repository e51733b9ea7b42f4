// The command-line switches of the patcher.
#pragma once

struct Switches {
  bool quiet = false;    // "/q": no error boxes, no removal question, no final message
  bool verbose = false;  // "/v": the results dialog replaces the final message
};

// Scans `commandLine` (the text after the program name; null reads as empty) for "/q" and
// "/v", ignoring case. A switch counts wherever its two characters stand: as a word of its
// own, as the start of a longer word ("/quiet"), or inside other text ("C:/Video"). Every
// other character is ignored.
Switches parseSwitches(const char* commandLine);
