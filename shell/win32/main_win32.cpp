// The entry point: builds the Win32 Host and runs the start-up flow with this edition's data.
#include <windows.h>
// commctrl.h needs the types of windows.h, so it comes after it.
#include <commctrl.h>

#include "editions/edition.h"
#include "engine/patch_run.h"
#include "shell/startup_flow.h"
#include "shell/win32/win32_host.h"

namespace {

// The edition this executable is built for (PATCHER_EDITION names its EditionData).
const EditionData& kThisEdition = PATCHER_EDITION;

// The process-wide patch table: a copy of the edition's, made at start, which a removal turns
// into its removal form before the run starts.
PatchTable gPatchTable{};

// The run's results log and problem flag: written by the worker thread, read by the main
// thread only after the progress dialog reported a completed run.
RunResults gRunResults{};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  InitCommonControls();  // makes the progress bar class available
  gPatchTable = kThisEdition.table;
  Win32Host host(instance);
  const FlowInputs inputs{commandLine, &gPatchTable, kThisEdition.progressTotal, &gRunResults};
  runStartupFlow(host, inputs);
  return 0;
}
