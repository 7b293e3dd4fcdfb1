#ifndef VTCONSOLE_LAUNCHER_LAUNCH_SEQUENCE_H
#define VTCONSOLE_LAUNCHER_LAUNCH_SEQUENCE_H

// launcher/, the top: included by WinMain and the tests alone; it may include every folder.
//
// The whole start of the launcher, called once by WinMain with its lpCmdLine (the command line
// after the program name). Chooses the road from the command line and the executable's own
// name, brings the installation up to date, prepares the client's configuration and starts the
// client. Returns the process's exit code: 0 when the start reached its end, 1 after the
// failure message.
int RunLaunchSequence(const char* commandLine);

// The one text the launcher ever shows.
constexpr char FAILURE_MESSAGE[] = "Unable to initiate application";

#endif
