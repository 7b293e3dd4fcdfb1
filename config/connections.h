#ifndef VTCONSOLE_CONFIG_CONNECTIONS_H
#define VTCONSOLE_CONFIG_CONNECTIONS_H

// config/: included by launcher/, the tests and bench/; it includes platform/ and config/ alone.

#include <cstddef>

// The connection list is read one line piece at a time into a buffer of this size.
constexpr std::size_t LINE_BUFFER_SIZE = 1024;

// Prepares conf\connections.xml before the client starts: made from its default when missing,
// known servers' addresses replaced by their names, hosts entries for other numeric hosts.
// Best effort: reports nothing. The same three steps as below, one after the other.
void RewriteConnections();

// The steps one at a time, for a caller that lets go of the installation's lock while the names
// are looked up: a name server that does not answer costs seconds for each name, and starts
// made together must not wait for each other's lookups.
//
// Makes the list from its default where it is missing; true when the list can be read, and only
// then are the servers looked up and the list rewritten.
bool MakeConnectionList();

// True, told to the account for the file named, when conf\ is a link (a junction, which any
// user can make, or a symbolic link): the lists there are then neither made nor rewritten, since
// this start's rights would reach wherever it leads.
bool ConfigurationFolderIsLink(const char* file);

// Whether the names of the main server and of the demo server resolve, looked up in that order.
struct ServerLookups {
    bool mainResolved = false;
    bool demoResolved = false;
};
ServerLookups LookUpKnownServers();

// Replaces the addresses of the servers that resolved by their names, and asks for hosts entries
// for the other numeric hosts.
void RewriteConnectionList(const ServerLookups& servers);

#endif
