#ifndef VTCONSOLE_PLATFORM_PROCESS_START_H
#define VTCONSOLE_PLATFORM_PROCESS_START_H

// Starts commandLine (a program named relative to the current directory, and its arguments) as
// an independent process in a process group of its own: no application name, no security
// attributes, no inherited handles, this process's environment and current directory. Both of
// its handles are closed at once, the thread's first; nobody waits for it. False when the
// process could not be created.
bool StartDetachedProcess(const char* commandLine);

#endif
