// Process-wide state and the program's fixed texts.
#pragma once

#include <cstdint>

#include "resource.h"

// Flags of the program's modes and of a running batch.
extern bool WorkInProgress;   // a batch run is active
extern bool CommandLineMode;  // started with the C switch
extern bool HadErrors;        // the last command-line run failed or found nothing
// Id of the auto-start timer: 531 at start, 0 once fired or when not created.
extern uint32_t AutoStartTimer;

// The process's command line, split into parameters (parameter 0 is the
// program). Set by the entry point before the dialog starts.
extern int ParamCount;
extern const char* const* ParamList;

enum : uint32_t { AUTO_START_TIMER_ID = 531, AUTO_START_DELAY_MS = 1000 };

extern const char TEXT_CAPTION[];             // "OskeltZTEX 2.6"
extern const char TEXT_NO_TEXTURES[];         // "No textures found."
extern const char TEXT_INVALID_PARAMETERS[];  // "Invalid parameters!"
extern const char TEXT_INVALID_CAPTION[];     // "Quillmere"
extern const char TEXT_INI_ERROR[];           // "Error on reading INI file!"
extern const char TEXT_TERMINATE[];           // "Do you want to terminate the program?"
extern const char TEXT_TERMINATE_CAPTION[];   // "Work is in progress!"
extern const char TEXT_ABOUT[];
extern const char TEXT_ABOUT_CAPTION[];       // "About"
extern const char TEXT_BROWSE_TITLE[];
extern const char TEXT_DEFAULT_BASE[];        // "..\..\data\Textures"
extern const char TEXT_USAGE[];               // "Usage: OskeltZTEX -C [BASEDIR]"

extern const char SOURCE_FOLDER[];   // "_compiled"
extern const char SOURCE_PATTERN[];  // "*-C.TEX"
extern const char TGA_EXTENSION[];   // ".tga"
enum : uint32_t { SOURCE_TAIL_LENGTH = 6 };  // "-C.TEX"
