// The progress dialog (resource 103): runs the patch on a worker thread, shows its status line
// and progress bar, and offers a Cancel that stops the run only at a pause point.
#pragma once

#include <windows.h>

struct RunInputs;
struct RunResults;

// The end code when the worker thread could not be started or the run ended without going
// through every row although nobody cancelled it. Neither 6 (completed) nor 7 (cancelled).
constexpr INT_PTR kRunFailed = -1;

// Shows the dialog modally, without owner, and runs the patch with `inputs` into `results`.
// Returns 6 when the run went through every row, 7 after a confirmed Cancel, and anything else
// (kRunFailed, or the failure value of the dialog box) when it did not run to its end.
int runProgressDialog(HINSTANCE instance, const RunInputs& inputs, RunResults& results);

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
