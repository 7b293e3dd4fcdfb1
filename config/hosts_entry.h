#ifndef VTCONSOLE_CONFIG_HOSTS_ENTRY_H
#define VTCONSOLE_CONFIG_HOSTS_ENTRY_H

// The text of hosts-file entries. No platform needed: tested natively and fuzzed.

#include <cstddef>

// At most this many bytes of the name source make the entry name, before ".vt".
constexpr std::size_t ENTRY_NAME_SOURCE_LIMIT = 252;
// An entry name with its ".vt" and terminator.
constexpr std::size_t ENTRY_NAME_SIZE = ENTRY_NAME_SOURCE_LIMIT + 4;

// The connection's name when it has one, otherwise the address.
const char* EntryNameSource(const char* address, const char* connectionName);

// ASCII letters and digits stay, every other byte becomes '-', whatever the locale; the first
// ENTRY_NAME_SOURCE_LIMIT bytes of source are used and ".vt" follows. entryName holds
// ENTRY_NAME_SIZE bytes.
void MakeEntryName(const char* source, char* entryName);

// The comment line, with its leading line end, and the entry line for address, as appended to
// the hosts file. False, with text empty, when they do not fit in size bytes.
bool ComposeHostsEntry(char* text, std::size_t size, const char* address, const char* nameSource);

// True when the piece begins with the address followed at once by a blank, a tab, a line feed,
// a vertical tab, a form feed or a carriage return.
bool PieceHasHostsEntry(const char* piece, const char* address);

#endif
