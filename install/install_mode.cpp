#include "install/install_mode.h"

// Not built yet: install mode does nothing until it lands.
void RunInstallMode() {}
