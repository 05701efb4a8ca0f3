// The console front end: the main dialog without a window, for machines
// without a display. The log goes to standard output, message boxes to
// standard error, and a progress line to standard error when it is a
// terminal.
#pragma once

// Runs the program as the console front end; returns the exit code (or ends
// the process itself, as the dialog logic decides). The command line must be
// in ParamCount / ParamList.
int RunConsoleMainDialog();
