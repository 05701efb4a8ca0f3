#include "OskeltZtexGlob.h"

bool WorkInProgress = false;
bool CommandLineMode = false;
bool HadErrors = false;
uint32_t AutoStartTimer = AUTO_START_TIMER_ID;

int ParamCount = 0;
const char* const* ParamList = nullptr;

const char TEXT_CAPTION[] = "OskeltZTEX 2.6";
const char TEXT_NO_TEXTURES[] = "No textures found.";
const char TEXT_INVALID_PARAMETERS[] = "Invalid parameters!";
const char TEXT_INVALID_CAPTION[] = "Quillmere";
const char TEXT_INI_ERROR[] = "Error on reading INI file!";
const char TEXT_TERMINATE[] = "Do you want to terminate the program?";
const char TEXT_TERMINATE_CAPTION[] = "Work is in progress!";
const char TEXT_ABOUT[] =
    "OskeltZTEX 2.6\r\n"
    "Brannoc TEXture Converter\r\n"
    "Converts ZTEX textures (_compiled\\*-C.TEX) into TGA images.";
const char TEXT_ABOUT_CAPTION[] = "About";
const char TEXT_BROWSE_TITLE[] =
    "Base directory for search/conversion:\r\n(usually ...\\_work\\data\\Textures)";
const char TEXT_DEFAULT_BASE[] = "..\\..\\data\\Textures";
const char TEXT_USAGE[] = "Usage: OskeltZTEX -C [BASEDIR]";

const char SOURCE_FOLDER[] = "_compiled";
const char SOURCE_PATTERN[] = "*-C.TEX";
const char TGA_EXTENSION[] = ".tga";
