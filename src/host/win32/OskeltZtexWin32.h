// The Windows program: dialog 101 with its procedure, and the front-end seam
// carried by the Win32 calls on that dialog.
#pragma once

#include <windows.h>

#include "OskeltZtexHost.h"

// The executable's instance: dialog 101, icon 1, the tip window's records.
extern HINSTANCE ModuleInstance;

// Installs the seam on the real dialog as the front end (SetHost).
void InstallWin32Host();

// The dialog procedure of dialog 101.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Called by the folder picker while it is open.
int CALLBACK BrowseCallback(HWND picker, UINT message, LPARAM value, LPARAM callbackValue);
