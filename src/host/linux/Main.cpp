// The Linux program: the Qt window when a display is available, the console
// front end otherwise. The window is a module beside the program, loaded
// only when a window is to be opened: a run without one needs no Qt.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OskeltZtexConsole.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexQt.h"
#include "Platform.h"

// A descriptor 0, 1 or 2 that the caller closed would be the next one the
// program opens (the self-pipe of its signals, a texture), and the log or a
// notice would then go there: each closed one is /dev/null from the start.
static void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) close(opened);  // fd was taken meanwhile
  }
}

static bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// --help and -h: what the program does, how to call it, where its folder
// map is and what its exit codes mean.
static int PrintHelp() {
  char module[PLAT_PATH_BUFFER], ini[PLAT_PATH_BUFFER];
  const bool located = PlatGetModulePath(module, sizeof module) != 0 && FolderMapIniPath(module, ini);
  std::printf(
      "Usage: OskeltZTEX [-C [BASEDIR]]\n"
      "Converts the ZTEX textures BASEDIR/_compiled/*-C.TEX into TGA images (FOO-C.TEX\n"
      "gives FOO.tga) in BASEDIR, or in the sub-folder that the folder map names.\n"
      "\n"
      "  (no parameters)  open the window (it needs a display)\n"
      "  -C [BASEDIR]     convert at once in BASEDIR (the current folder when left\n"
      "                   out); with a display the window shows the run, without\n"
      "                   one the log goes to standard output\n"
      "  -h, --help       show this help and exit\n"
      "      --version    show the version and exit\n"
      "\n"
      "Folder map: %s\n"
      "\n"
      "Exit codes: 0 after a run without errors (and after this help); 1 after a\n"
      "run with errors, when no texture is found, for a bad command line, when the\n"
      "folder map cannot be read, or when the program ends before the run has\n"
      "finished (a signal, a closed window, a log that standard output cannot take).\n",
      located ? ini : "OskeltZTEX.ini beside the program");
  return 0;
}

static bool HasConvertSwitch(int argc, char** argv) {
  return argc >= 2 && std::strlen(argv[1]) == 2 && (argv[1][1] == 'C' || argv[1][1] == 'c');
}

// The window module's entry point, or null after one line on standard error
// that says what is missing.
static QtModuleEntry LoadWindowModule(const char* program) {
  char path[4096];
  std::string module = QT_MODULE_FILE;
  if (PlatGetModulePath(path, sizeof path) != 0) {
    const char* slash = std::strrchr(path, '/');
    module = std::string(path, slash ? static_cast<size_t>(slash - path + 1) : 0) + QT_MODULE_FILE;
  }
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* entry = handle ? dlsym(handle, QT_MODULE_ENTRY) : nullptr;
  // dlerror() tells the failure of whichever of the two calls failed.
  if (entry == nullptr)
    std::fprintf(stderr, "%s: the window cannot be opened, going on without it: %s\n", program,
                 dlerror());
  return reinterpret_cast<QtModuleEntry>(entry);
}

int main(int argc, char** argv) {
  OpenStandardDescriptors();
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    return PrintHelp();
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", TEXT_CAPTION);
    return 0;
  }
  ParamCount = argc - 1;
  ParamList = argv;
  // Ctrl+C, a closed terminal or a polite kill end the program at a safe
  // point, as a confirmed close does; a closed log reader or a file size
  // limit turn into failed writes.
  PlatCatchEndRequests();
  if (HasDisplay()) {
    if (const QtModuleEntry runWindow = LoadWindowModule(argv[0])) {
      const int code = runWindow(argc, argv);
      // A display that cannot be opened is no display.
      if (code != QT_NO_DISPLAY) return code;
    }
  }
  if (!HasConvertSwitch(argc, argv)) {
    if (HasDisplay())
      std::fprintf(stderr, "%s: no window can be opened; to convert without one, run: %s -C [BASEDIR]\n",
                   argv[0], argv[0]);
    else
      std::fprintf(stderr,
                   "%s: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
                   "to convert without one, run: %s -C [BASEDIR]\n",
                   argv[0], argv[0]);
    return 1;
  }
  return RunConsoleMainDialog();
}
