// The front-end seam filled with the Qt window's operations.
#pragma once

// Installs the Qt window's operations as the front end (SetHost).
void InstallQtHost();
