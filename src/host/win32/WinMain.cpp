// Entry point of the Windows program: the rich-edit library and the common
// controls, then dialog 101 as a modal dialog; the exit code follows the run.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexWin32.h"
#include "resource.h"

typedef BOOL(WINAPI* InitCommonControlsExProc)(const INITCOMMONCONTROLSEX*);

// The process command line as parameters, program first.
static void ReadParameters() {
  const char* line = GetCommandLineA();
  const size_t length = std::strlen(line);
  const int most = static_cast<int>(length / 2 + 2);
  char* storage = static_cast<char*>(std::malloc(length + 1));
  const char** params = static_cast<const char**>(std::malloc(sizeof(char*) * most));
  if (!storage || !params) return;
  const int count = SplitCommandLine(line, storage, length + 1, params, most);
  ParamList = params;
  ParamCount = count > 0 ? count - 1 : 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ModuleInstance = instance;
  ReadParameters();
  InstallWin32Host();
  LoadLibraryA("riched32.dll");
  InitCommonControls();
  static InitCommonControlsExProc initEx = nullptr;
  if (const HMODULE comctl = GetModuleHandleA("comctl32.dll"))
    initEx = reinterpret_cast<InitCommonControlsExProc>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (initEx) {
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_PROGRESS_CLASS;
    initEx(&classes);
  }
  DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  return static_cast<int>(MainExitCode());
}
