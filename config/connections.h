#ifndef VTCONSOLE_CONFIG_CONNECTIONS_H
#define VTCONSOLE_CONFIG_CONNECTIONS_H

#include <cstddef>

// The connection list is read one line piece at a time into a buffer of this size.
constexpr std::size_t LINE_BUFFER_SIZE = 1024;

// Prepares conf\connections.xml before the client starts: made from its default when missing,
// known servers' addresses replaced by their names, hosts entries for other numeric hosts.
// Best effort: reports nothing.
void RewriteConnections();

#endif
