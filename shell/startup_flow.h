// The start-up flow: from the command line to the end of the program, in one straight pass.
//
// It reads the switches, repairs a broken screen-saver entry in "system.ini", finds the install
// directory in the registry and makes it current, closes a running menu program, surveys the
// installation, asks whether to add (or remove) the button, runs the patch behind the progress
// dialog and reports the run. Nothing is retried; every path ends the program.
#pragma once

#include <cstdint>

class Host;
struct PatchTable;
struct RunResults;

// Where the flow ended. Every one of them makes the program return 0.
enum class FlowExit {
  KeyNotOpened = 1,     // E1: the install key cannot be opened             (message 5)
  PathNotRead = 2,      // E2: the install path cannot be read              (message 5)
  DirectoryGone = 3,    // E3: the install path is not a directory; deleted (message 17)
  NotInstalled = 4,     // E4: survey verdict Missing                       (message 23)
  Unrecognised = 5,     // E5: survey verdict Unrecognised                  (message 24)
  RemoveDeclined = 6,   // E6: already patched, removal declined or quiet   (question 25)
  AddDeclined = 7,      // E7: ready, adding declined                       (question 26)
  RunNotCompleted = 8,  // E8: the progress dialog did not end with a completed run
  ResultsShown = 9,     // E9: completed; problems or verbose mode: the results dialog
  Completed = 10,       // E10: completed; final message 27 or 29 unless quiet
};

struct FlowInputs {
  const char* commandLine;  // the text after the program name
  PatchTable* table;        // the edition's table; turned into its removal form on removal
  int32_t progressTotal;    // the edition's constant
  RunResults* results;      // filled by the run; read only after a completed run
};

// Runs the whole flow against `host`. Returns 0, whichever way it ends; `exitTaken`, when not
// null, receives the exit.
int runStartupFlow(Host& host, const FlowInputs& inputs, FlowExit* exitTaken = nullptr);
