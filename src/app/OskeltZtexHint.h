// Tool tips of the main dialog.
#pragma once

#include "OskeltZtexHost.h"

struct ToolTipHint {
  int Control;
  const char* Text;
};

enum { TOOL_TIP_HINT_COUNT = 4 };
extern const ToolTipHint ToolTipHints[TOOL_TIP_HINT_COUNT];
// The one tip window, null until created (or when creation failed).
extern void* ToolTipWindow;

// Creates the tip window and registers the hints; false only when the window
// cannot be created.
bool CreateToolTips(DialogHandle dialog);
