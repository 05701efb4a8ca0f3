// The Qt front end: the main dialog as a Qt 6 Widgets window, for Linux
// with a display. Built as a module that the program loads only when it
// opens a window (OskeltZtexQtModule.cpp), so that a run without a window
// loads no Qt library.
#pragma once

// Returned by RunQtMainDialog when no display could be opened; nothing was
// shown and the caller may run the console front end instead.
enum { QT_NO_DISPLAY = -1 };

// The module's file name, beside the program, and its one entry point: a
// function of the type QtModuleEntry named QT_MODULE_ENTRY that does what
// RunQtMainDialog does.
#define QT_MODULE_FILE "OskeltZtexQt.so"
#define QT_MODULE_ENTRY "OskeltZtexRunQtMainDialog"
typedef int (*QtModuleEntry)(int argc, char** argv);

// Runs the program in the Qt window and returns the process exit code, unless
// the dialog logic ends the process itself. The command line must be in
// ParamCount / ParamList.
int RunQtMainDialog(int argc, char** argv);

// The two halves of RunQtMainDialog, for callers that make their own
// QApplication. PrepareQtEnvironment runs before QApplication is constructed;
// it chooses the platform plugins (the display, else offscreen) unless
// QT_QPA_PLATFORM is set, and gives the process a private XDG_RUNTIME_DIR
// when it has none. ExecQtMainDialog runs the dialog modally in the existing
// QApplication and returns the exit code.
void PrepareQtEnvironment();
int ExecQtMainDialog();
