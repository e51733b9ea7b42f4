#include "shell/win32/progress_dialog.h"

#include <commctrl.h>

#include "engine/messages.h"
#include "engine/patch_run.h"
#include "shell/cancel_handshake.h"
#include "shell/host.h"
#include "shell/win32/dialog_placement.h"
#include "shell/win32/win32_resources.h"

namespace {

// Posted by the worker to end the dialog; wParam is the end code. Posting (rather than
// sending) lets the worker return at once, and lets a Cancel that is waiting for a pause see
// the run's end through the handshake instead of through this message.
constexpr UINT kRunEndedMessage = WM_APP + 1;

// How long one look of the Cancel wait may block while nothing is sent to the main thread.
constexpr DWORD kPumpSliceMs = 10;

// State of the one progress dialog of the process. All of it is written on the main thread
// before the worker starts (runProgressDialog and WM_INITDIALOG) and only read afterwards,
// except the handshake, whose flags are atomics.
HINSTANCE gInstance = nullptr;
const RunInputs* gRunInputs = nullptr;  // read by the worker
RunResults* gRunResults = nullptr;      // written by the worker; read after the dialog ends
HWND gDialog = nullptr;                 // read by the worker (status line, end of run)
HWND gProgressBar = nullptr;            // read by the worker (progress)
HANDLE gWorker = nullptr;               // the worker thread; waited on after a Cancel
CancelHandshake gHandshake;             // pause request and acknowledgement

// The run's window, as seen from the worker thread. The status and progress calls are
// synchronous: they return once the main thread has handled them.
class DialogSink final : public ProgressSink {
 public:
  void showStatus(const char* text) override { SetDlgItemTextA(gDialog, kStatusLine, text); }
  // The run reports after every 4096-byte chunk, so most reports repeat the bar's position;
  // only a change is sent, which spares the main thread a thousand cross-thread calls a run.
  void showProgress(int32_t percent) override {
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    SendMessageA(gProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  }
  bool pausePoint() override { return gHandshake.pausePoint(); }
  void finishRun() override {
    gHandshake.markRunFinished();
    PostMessageA(gDialog, kRunEndedMessage, static_cast<WPARAM>(kRunCompleted), 0);
  }

 private:
  int32_t shownPercent_ = 0;  // the bar starts at 0; worker thread only
};

DWORD WINAPI workerMain(LPVOID) {
  DialogSink sink;
  const bool completed = runPatch(*gRunInputs, sink, *gRunResults);
  // A run that stops by itself without a confirmed Cancel would leave the dialog open for ever.
  if (!completed && !gHandshake.stopConfirmed()) {
    PostMessageA(gDialog, kRunEndedMessage, static_cast<WPARAM>(kRunFailed), 0);
  }
  return 0;
}

bool workerEnded() { return WaitForSingleObject(gWorker, 0) == WAIT_OBJECT_0; }

// Lets the worker's synchronous calls through while the main thread waits: blocks until a
// message is sent to this thread, the worker ends, or a short slice passes, then delivers the
// sent messages. Posted messages (clicks, paints) stay queued for the dialog loop.
void pumpSentMessages() {
  MsgWaitForMultipleObjectsEx(1, &gWorker, kPumpSliceMs, QS_SENDMESSAGE, 0);
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void waitForWorker() {
  while (!workerEnded()) pumpSentMessages();
}

// Asks whether to abort; the worker is parked while the question is open.
bool askToStop() {
  char question[kMessageBufferSize];
  char caption[kMessageBufferSize];
  gRunInputs->messages->load(kMsgCancelQuestion, question, sizeof question);
  gRunInputs->messages->load(kMsgCancelCaption, caption, sizeof caption);
  return MessageBoxA(nullptr, question, caption, MB_YESNO | MB_ICONWARNING) == IDYES;
}

// Puts the progress bar where the hidden control 1004 is. Control 1006 sits at the client
// area's origin, so the difference of their screen positions is 1004's client position.
void createProgressBar(HWND dialog) {
  RECT origin;
  RECT place;
  GetWindowRect(GetDlgItem(dialog, kClientOriginMarker), &origin);
  GetWindowRect(GetDlgItem(dialog, kProgressBarPlace), &place);
  gProgressBar =
      CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, place.left - origin.left,
                      place.top - origin.top, place.right - place.left, place.bottom - place.top,
                      dialog, nullptr, gInstance, nullptr);
}

void onInitDialog(HWND dialog) {
  gDialog = dialog;
  centreOnScreen(dialog);
  createProgressBar(dialog);
  // The dialog and bar handles are stored: the worker uses them from its first row on.
  gWorker = CreateThread(nullptr, 0, workerMain, nullptr, 0, nullptr);
  if (gWorker == nullptr) EndDialog(dialog, kRunFailed);  // nothing has been touched
}

void onCancel(HWND dialog) {
  using CancelResult = CancelHandshake::CancelResult;
  switch (gHandshake.handleCancel(pumpSentMessages, workerEnded, askToStop)) {
    case CancelResult::Ignored:
    case CancelResult::Refused:
      return;
    case CancelResult::RunFinished:
      EndDialog(dialog, kRunCompleted);
      return;
    case CancelResult::WorkerEnded:
      EndDialog(dialog, kRunFailed);
      return;
    case CancelResult::Confirmed:
      // The worker leaves its pause point, closes what it holds and returns; no row after
      // that pause point is touched.
      waitForWorker();
      EndDialog(dialog, kRunCancelled);
      return;
  }
}

}  // namespace

int runProgressDialog(HINSTANCE instance, const RunInputs& inputs, RunResults& results) {
  gInstance = instance;
  gRunInputs = &inputs;
  gRunResults = &results;
  const INT_PTR result =
      DialogBoxParamA(instance, MAKEINTRESOURCEA(kProgressDialog), nullptr, progressDialogProc, 0);
  return static_cast<int>(result);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      onInitDialog(dialog);
      return FALSE;  // no default focus
    case WM_COMMAND:
      // Only the Cancel button's click; Escape (IDCANCEL) leaves the dialog open.
      if (wParam != static_cast<WPARAM>(kCancelButton)) return FALSE;
      onCancel(dialog);
      return TRUE;
    case kRunEndedMessage:
      EndDialog(dialog, static_cast<INT_PTR>(static_cast<int>(wParam)));
      return TRUE;
    default:
      return FALSE;
  }
}
