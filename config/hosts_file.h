#ifndef VTCONSOLE_CONFIG_HOSTS_FILE_H
#define VTCONSOLE_CONFIG_HOSTS_FILE_H

enum class HostsEntry { Appended, Present, NotAdded };

// Gives a numeric connection host a name in the Windows hosts file: a comment line naming the
// connection, then "ADDRESS NAME.vt". Only ever appends, and adds nothing for an address that
// already begins a line. Best effort: what came of it is only told to the account.
HostsEntry AddHostsEntry(const char* address, const char* connectionName);

// 1 when a line of the file at path begins with the address and a whitespace character;
// 0 otherwise, also when the file cannot be read.
int HostsFileHasEntry(const char* address, const char* path);

#endif
