#include "OskeltZtexHint.h"

#include "OskeltZtexDialog.h"
#include "resource.h"

const ToolTipHint ToolTipHints[TOOL_TIP_HINT_COUNT] = {
    {IDC_PATH, "Base directory for search/conversion"},
    {IDC_BROWSE, "Set working directory"},
    {IDC_CONVERT, "Convert all textures (_compiled\\*-C.TEX into ...\\*.tga)"},
    {IDC_LOG, "Trace for errors, hints, and summary"},
};

void* ToolTipWindow = nullptr;

bool CreateToolTips(DialogHandle dialog) {
  ToolTipWindow = CreateToolTipWindow(dialog);
  if (!ToolTipWindow) return false;
  for (const ToolTipHint& hint : ToolTipHints) {
    if (hint.Text && GetControl(dialog, hint.Control))
      AddToolTip(dialog, ToolTipWindow, hint.Control, hint.Text);
  }
  return true;
}
