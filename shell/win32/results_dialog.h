// The results dialog (resource 104): the results log, and an error box first when a row failed.
#pragma once

#include <windows.h>

class MessageSource;
struct RunResults;

// Shows the dialog modally, without owner, until the user presses Finish.
void showResultsDialog(HINSTANCE instance, const RunResults& results,
                       const MessageSource& messages);

INT_PTR CALLBACK resultsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
