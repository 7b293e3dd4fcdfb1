#ifndef VTCONSOLE_CONFIG_CONNECTION_SCAN_H
#define VTCONSOLE_CONFIG_CONNECTION_SCAN_H

// The line logic of the connection list rewrite. It needs no platform, so the same code runs
// in the launcher, in the native sanitizer tests and under the fuzzer.

#include <cstddef>

#include "config/connections.h"

// What the scan knows between two pieces of the list.
struct ConnectionScan {
    bool mainResolved = false;
    bool demoResolved = false;
    bool connectionOpen = false;
    bool changed = false;
    // The open connection's name; empty when it has none. Only meaningful while one is open.
    char name[LINE_BUFFER_SIZE] = {};
    // The numeric host value that wants a hosts entry, after PieceAction::AddHostsEntry.
    char host[LINE_BUFFER_SIZE] = {};
};

enum class PieceAction {
    Copy,            // write the piece on as it stands
    Replaced,        // a server's address gave way to its host name; write the piece on
    AddHostsEntry,   // scan.host wants an entry named after scan.name; write the piece on
    Stop,            // the list is not what the scan understands: stop, write nothing more
};

// Examines one piece (a terminated text in a buffer of LINE_BUFFER_SIZE bytes) and changes it
// in place when a server's address is replaced.
PieceAction ScanPiece(ConnectionScan& scan, char* piece);

// True for a non-empty text of digits and dots only.
bool IsNumericHost(const char* value, std::size_t length);

// Puts hostName in the place of line[begin, end). The line is a terminated text in a buffer of
// size bytes; the result, terminator included, must fit in the size - begin bytes from the
// address on. When it would not, or the positions do not lie within the line, the line is left
// as it was: a line is written unchanged rather than cut.
void ReplaceHostAddress(char* line, std::size_t size, std::size_t begin, std::size_t end,
                        const char* hostName);

#endif
