// The program's working routines, one header per concern: the conversion of
// one texture, the path helpers, the folder map, the log with its counters,
// and the dialog helpers. Include the one you use.
#pragma once

#include "OskeltZtexConvert.h"
#include "OskeltZtexDialog.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexLog.h"
#include "OskeltZtexPath.h"
