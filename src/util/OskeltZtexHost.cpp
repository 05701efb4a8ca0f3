#include "OskeltZtexHost.h"

const HostOps* Host = nullptr;

void SetHost(const HostOps* ops) { Host = ops; }
