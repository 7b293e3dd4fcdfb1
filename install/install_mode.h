#ifndef VTCONSOLE_INSTALL_INSTALL_MODE_H
#define VTCONSOLE_INSTALL_INSTALL_MODE_H

// install/: included by launcher/ and the tests; it includes platform/ and install/ alone.
//
// Serves the installer: takes over its service and connection lists into the current directory
// and runs .\Setup.exe to its end. Reports nothing; the launcher then ends with exit code 0.
void RunInstallMode();

#endif
