#include "config/connections.h"

#include "config/connection_scan.h"
#include "config/hosts_file.h"
#include "config/known_servers.h"
#include "platform/account.h"
#include "platform/platform.h"

namespace {

constexpr char CONFIGURATION_FOLDER[] = "conf";
constexpr char CONNECTION_LIST[] = "conf\\connections.xml";
constexpr char DEFAULT_CONNECTION_LIST[] = "conf\\default-connections.xml";
constexpr char TEMPORARY_LIST[] = "conf\\connections.tmp";

// A name server that does not answer costs seconds at every start: the account says how long
// each lookup took.
bool Resolves(const KnownServer& server)
{
    const DWORD asked = AccountClock();
    const bool resolved = platform::gethostbyname(server.hostName) != nullptr;
    const unsigned long took = AccountClock() - asked;
    if (resolved) {
        Report("%s resolved in %lu ms", server.hostName, took);
    } else {
        ReportFailure("%s not resolved in %lu ms: gethostbyname", server.hostName, took);
    }
    return resolved;
}

// Why the list keeps its content after a scan with a temporary copy, or nullptr when the copy
// may take its place.
const char* WhyListStays(const ConnectionScan& scan, bool stopped, bool readToEnd,
                         bool copiedWhole)
{
    if (stopped) return "the scan stopped";
    if (!readToEnd) return "a read error";
    if (!copiedWhole) return "its copy was not written whole";
    if (!scan.changed) return "no address to replace";
    return nullptr;
}

}  // namespace

void RewriteConnections()
{
    if (MakeConnectionList()) RewriteConnectionList(LookUpKnownServers());
}

bool ConfigurationFolderIsLink(const char* file)
{
    const DWORD attributes = platform::GetFileAttributesA(CONFIGURATION_FOLDER);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Left to the steps themselves, as before: a folder that is missing fails them.
        ReportFailure("%s: GetFileAttributesA %s", file, CONFIGURATION_FOLDER);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    Report("%s left alone: %s is a link", file, CONFIGURATION_FOLDER);
    return true;
}

bool MakeConnectionList()
{
    if (ConfigurationFolderIsLink(CONNECTION_LIST)) return false;
    // Made from its default only where it is missing: an existing list makes the copy fail.
    if (!platform::CopyFileA(DEFAULT_CONNECTION_LIST, CONNECTION_LIST, TRUE) && AccountOn() &&
        platform::GetLastError() != ERROR_FILE_EXISTS) {
        ReportFailure("CopyFileA %s to %s", DEFAULT_CONNECTION_LIST, CONNECTION_LIST);
    }
    FILE* list = platform::OpenTextFile(CONNECTION_LIST, "r");
    if (list == nullptr) {
        ReportFailure("connection list not read: fopen %s", CONNECTION_LIST);
        return false;
    }
    if (!platform::CloseTextFile(list)) ReportFailure("fclose %s", CONNECTION_LIST);
    return true;
}

ServerLookups LookUpKnownServers()
{
    WSADATA sockets;
    const int started = platform::WSAStartup(MAKEWORD(2, 0), &sockets);
    if (started != 0) ReportError(static_cast<DWORD>(started), "WSAStartup");
    // Both lookups, main first, whatever the list holds: a server that does not resolve is
    // only an address, and its connections get hosts entries instead.
    ServerLookups servers;
    servers.mainResolved = Resolves(MAIN_SERVER);
    servers.demoResolved = Resolves(DEMO_SERVER);
    platform::WSACleanup();
    return servers;
}

void RewriteConnectionList(const ServerLookups& servers)
{
    // Looked at again: the folder may have been put in place of conf\ during the lookups.
    if (ConfigurationFolderIsLink(CONNECTION_LIST)) return;
    // Read again: the list may have been rewritten by another start while the names were
    // looked up.
    FILE* source = platform::OpenTextFile(CONNECTION_LIST, "r");
    if (source == nullptr) {
        ReportFailure("connection list not read: fopen %s", CONNECTION_LIST);
        return;
    }

    ConnectionScan scan;
    scan.mainResolved = servers.mainResolved;
    scan.demoResolved = servers.demoResolved;
    FILE* copy = nullptr;
    if (scan.mainResolved || scan.demoResolved) {
        // Written only into a file of its own: what has the copy's name already (what a start
        // cut short left, a link, a second name of a file elsewhere) is removed first, which on
        // Windows removes that name alone.
        if (!platform::DeleteFileA(TEMPORARY_LIST) && AccountOn() &&
            platform::GetLastError() != ERROR_FILE_NOT_FOUND) {
            ReportFailure("DeleteFileA %s", TEMPORARY_LIST);
        }
        copy = platform::CreateNewTextFile(TEMPORARY_LIST);
        if (copy == nullptr) {
            ReportFailure("connection list not rewritten: _open %s", TEMPORARY_LIST);
        }
    }

    char piece[LINE_BUFFER_SIZE];
    unsigned pieces = 0, replaced = 0;
    unsigned hostsEntries[3] = {};  // by HostsEntry: appended, present, not added
    bool stopped = false;
    bool copiedWhole = true;
    while (platform::ReadLinePiece(piece, LINE_BUFFER_SIZE, source) != nullptr) {
        ++pieces;
        const PieceAction action = ScanPiece(scan, piece);
        if (action == PieceAction::Stop) {
            Report("connection list: scan stopped at line %u: %s", pieces,
                   scan.connectionOpen ? "connection inside a connection"
                                       : "host outside a connection");
            stopped = true;
            break;
        }
        if (action == PieceAction::Replaced) ++replaced;
        if (action == PieceAction::AddHostsEntry) {
            ++hostsEntries[static_cast<int>(AddHostsEntry(scan.host, scan.name))];
        }
        if (copy != nullptr && copiedWhole) {
            copiedWhole = platform::WriteText(piece, copy);
            if (!copiedWhole) ReportFailure("fputs %s", TEMPORARY_LIST);
        }
    }
    // A read error ends the loop like the end of the list, but leaves the end-of-file mark
    // clear: only a list read to its end may be replaced.
    const bool readToEnd = stopped || platform::AtEndOfFile(source);
    if (!readToEnd) ReportFailure("connection list: fgets %s", CONNECTION_LIST);
    if (hostsEntries[0] + hostsEntries[1] + hostsEntries[2] != 0) {
        Report("hosts entries: %u appended, %u there already, %u not added", hostsEntries[0],
               hostsEntries[1], hostsEntries[2]);
    }

    const char* why = copy != nullptr ? WhyListStays(scan, stopped, readToEnd, copiedWhole)
                      : scan.mainResolved || scan.demoResolved ? "no copy of it could be made"
                                                               : "neither server resolved";
    // The copy must be on disk before it takes the list's place: the move alone may reach the
    // disk before the data does, and a power cut would leave a list of zeros or cut short.
    if (why == nullptr && !platform::FlushTextFile(copy)) {
        ReportFailure("_commit %s", TEMPORARY_LIST);
        why = "its copy was not flushed";
    }
    if (copy != nullptr && !platform::CloseTextFile(copy)) {
        ReportFailure("fclose %s", TEMPORARY_LIST);
        if (why == nullptr) why = "its copy was not written whole";
    }
    if (!platform::CloseTextFile(source)) ReportFailure("fclose %s", CONNECTION_LIST);
    // One move replaces the list, so there is never a moment without it; a copy that was not
    // written whole (a full disk) never takes its place.
    if (why == nullptr && !platform::MoveFileExA(TEMPORARY_LIST, CONNECTION_LIST,
                                                 MOVEFILE_REPLACE_EXISTING |
                                                     MOVEFILE_WRITE_THROUGH)) {
        ReportFailure("MoveFileExA %s to %s", TEMPORARY_LIST, CONNECTION_LIST);
        why = "its copy did not take its place";
    }
    if (why != nullptr) {
        Report("connection list left as it was: %s", why);
        if (copy != nullptr && !platform::DeleteFileA(TEMPORARY_LIST)) {
            ReportFailure("DeleteFileA %s", TEMPORARY_LIST);
        }
        return;
    }
    Report("connection list rewritten, addresses replaced: %u", replaced);
}
