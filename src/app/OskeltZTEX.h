// The program: the main dialog's logic and the batch run. Every front end
// feeds its window's events into these routines; they act on the window only
// through the front-end seam (OskeltZtexHost.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "OskeltZtexHost.h"

// The dialog's events, as the dialog procedure routes them.
// WM_INITDIALOG: reads the command line (ParamCount/ParamList), fixes the
// mode and the base directory, creates the tool tips, loads the folder map
// and shows the current directory. Ends the process with exit code 1 on a bad
// command line or an unreadable folder map. Returns 0.
intptr_t InitMainDialog(DialogHandle dialog);
// WM_COMMAND: a control (never null for a click) sent a notification.
intptr_t HandleMainCommand(DialogHandle dialog, uint32_t notification, uint32_t id, void* control);
// WM_TIMER.
intptr_t MainDialogTimer(DialogHandle dialog, uintptr_t id);
// WM_SHOWWINDOW.
intptr_t MainDialogShown(DialogHandle dialog, bool shown);
// WM_CLOSE, the window's Close command and Exit: ends the dialog, after
// asking while a run is active (a confirmed close ends the process with 1).
intptr_t CloseMainDialog(DialogHandle dialog, intptr_t result);
// A close that needs no confirmation (the process was asked to end): during
// a run the process ends at once with exit code 1, the run's unfinished file
// removed; otherwise the dialog ends as Close ends it.
intptr_t CloseMainDialogNow(DialogHandle dialog);
// WM_DESTROY.
intptr_t MainDialogDestroyed(DialogHandle dialog);
// Exit code of the process once the modal dialog has ended.
uint32_t MainExitCode();

// The batch run over every _compiled\*-C.TEX of the current directory.
void RunConversion(DialogHandle dialog);
// Deletes the temporary file of a conversion that is waiting for deletion,
// if any. Called before the process ends from inside a run.
void DeletePendingTemporary();
// The name a TGA file has where it cannot stay unnamed until it is
// complete: the target path followed by ".oskeltztex-", this run's tag (the
// process id and a random number, 8 hex digits each) and ".tmp", so that no
// other run and no TGA can have it; where the path limit leaves no room for
// that, the target's name is cut short. False with
// ERROR_FILENAME_EXCED_RANGE (and out empty) when the target's folder
// leaves no room at all. out holds 261 bytes.
bool TemporaryPathOf(const char* target, char* out);

// Splits a command line as the program reads it: blanks separate parameters,
// double quotes group blanks and are removed. The parameters are written as
// strings into storage (at least as long as line plus one byte) and listed in
// params (at most maxParams). Returns the number of parameters, the program
// (parameter 0) included.
int SplitCommandLine(const char* line, char* storage, size_t storageSize, const char** params,
                     int maxParams);
