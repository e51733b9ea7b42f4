#include "shell/win32/results_dialog.h"

#include "engine/messages.h"
#include "engine/patch_run.h"
#include "shell/host.h"
#include "shell/win32/dialog_placement.h"
#include "shell/win32/win32_resources.h"

namespace {

// What the one results dialog of the process shows; set before it opens, read on the main
// thread only. The run has ended by then, so the log and the problem flag no longer change.
const RunResults* gResults = nullptr;
const MessageSource* gMessages = nullptr;

constexpr INT_PTR kResultsDone = 6;

void onInitDialog(HWND dialog) {
  centreOnScreen(dialog);
  SetDlgItemTextA(dialog, kResultsLogEdit, gResults->log);
  char text[kMessageBufferSize];
  char caption[kMessageBufferSize];
  gMessages->load(kMsgProblems, text, sizeof text);
  gMessages->load(kMsgErrorCaption, caption, sizeof caption);
  // Shown while the dialog initialises: it comes first, with the log already in place.
  if (gResults->problem != 0) MessageBoxA(dialog, text, caption, MB_ICONERROR);
}

}  // namespace

void showResultsDialog(HINSTANCE instance, const RunResults& results,
                       const MessageSource& messages) {
  gResults = &results;
  gMessages = &messages;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(kResultsDialog), nullptr, resultsDialogProc, 0);
}

INT_PTR CALLBACK resultsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      onInitDialog(dialog);
      return FALSE;
    case WM_COMMAND:
      // Only Finish ends the dialog; Escape and the close box (IDCANCEL) do not.
      if (wParam != static_cast<WPARAM>(kFinishButton)) return FALSE;
      EndDialog(dialog, kResultsDone);
      return TRUE;
    case WM_DESTROY:
      EndDialog(dialog, kResultsDone);
      return FALSE;
    default:
      return FALSE;
  }
}
