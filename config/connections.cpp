#include "config/connections.h"

#include "config/connection_scan.h"
#include "config/hosts_file.h"
#include "config/known_servers.h"
#include "launcher/platform.h"

namespace {

constexpr char CONNECTION_LIST[] = "conf\\connections.xml";
constexpr char DEFAULT_CONNECTION_LIST[] = "conf\\default-connections.xml";
constexpr char TEMPORARY_LIST[] = "conf\\connections.tmp";

bool Resolves(const KnownServer& server)
{
    return platform::gethostbyname(server.hostName) != nullptr;
}

}  // namespace

void RewriteConnections()
{
    platform::CopyFileA(DEFAULT_CONNECTION_LIST, CONNECTION_LIST, TRUE);

    FILE* source = platform::OpenTextFile(CONNECTION_LIST, "r");
    if (source == nullptr) return;

    ConnectionScan scan;
    WSADATA sockets;
    platform::WSAStartup(MAKEWORD(2, 0), &sockets);
    // Both lookups, main first, whatever the list holds: a server that does not resolve is
    // only an address, and its connections get hosts entries instead.
    scan.mainResolved = Resolves(MAIN_SERVER);
    scan.demoResolved = Resolves(DEMO_SERVER);
    FILE* copy = nullptr;
    if (scan.mainResolved || scan.demoResolved) copy = platform::OpenTextFile(TEMPORARY_LIST, "w");
    platform::WSACleanup();

    char piece[LINE_BUFFER_SIZE];
    bool stopped = false;
    bool copiedWhole = true;
    while (platform::ReadLinePiece(piece, LINE_BUFFER_SIZE, source) != nullptr) {
        const PieceAction action = ScanPiece(scan, piece);
        if (action == PieceAction::Stop) {
            stopped = true;
            break;
        }
        if (action == PieceAction::AddHostsEntry) AddHostsEntry(scan.host, scan.name);
        if (copy != nullptr && copiedWhole) copiedWhole = platform::WriteText(piece, copy);
    }

    if (copy == nullptr) {
        platform::CloseTextFile(source);
        return;
    }
    // A read error ends the loop like the end of the list, but leaves the end-of-file mark
    // clear: only a list read to its end may be replaced.
    bool replace = scan.changed && !stopped && platform::AtEndOfFile(source) && copiedWhole;
    // The copy must be on disk before it takes the list's place: the move alone may reach the
    // disk before the data does, and a power cut would leave a list of zeros or cut short.
    if (replace && !platform::FlushTextFile(copy)) replace = false;
    if (!platform::CloseTextFile(copy)) replace = false;
    platform::CloseTextFile(source);
    // One move replaces the list, so there is never a moment without it; a copy that was not
    // written whole (a full disk) never takes its place.
    if (!replace || !platform::MoveFileExA(TEMPORARY_LIST, CONNECTION_LIST,
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        platform::DeleteFileA(TEMPORARY_LIST);
    }
}
