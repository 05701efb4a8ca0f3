// The window operations of the batch run, carried by the installed front end.
#include "OskeltZtexUtil.h"

void PumpMessages(DialogHandle dialog) { Host->PumpMessages(dialog); }

void EnableControl(DialogHandle dialog, int id, bool enable) {
  Host->EnableControl(dialog, id, enable);
}

bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start) {
  return Host->BrowseForFolder(owner, out, title, start);
}

void ProgressReset(DialogHandle dialog, int32_t n) { Host->ProgressReset(dialog, n); }

void ProgressStep(DialogHandle dialog, int32_t delta) { Host->ProgressStep(dialog, delta); }
