#include "config/connection_scan.h"

#include <cstring>

#include "config/known_servers.h"

namespace {

constexpr char CONNECTION_END[] = "</connection>";
constexpr char CONNECTION_START[] = "<connection ";
constexpr char CONNECTION_START_UNNAMED[] = "<connection>";
constexpr char NAME_MARKER[] = " name=\"";
constexpr char HOST_MARKER[] = "<host>";

template <std::size_t N>
constexpr std::size_t Length(const char (&)[N]) { return N - 1; }

// Copies [from, from + length) into a LINE_BUFFER_SIZE buffer; a piece never holds more.
void CopyText(char* target, const char* from, std::size_t length)
{
    if (length >= LINE_BUFFER_SIZE) length = LINE_BUFFER_SIZE - 1;
    std::memcpy(target, from, length);
    target[length] = '\0';
}

void TakeConnectionName(ConnectionScan& scan, const char* start)
{
    const char* marker = start != nullptr ? std::strstr(start, NAME_MARKER) : nullptr;
    if (marker == nullptr) {
        scan.name[0] = '\0';
        return;
    }
    const char* name = marker + Length(NAME_MARKER);
    const char* quote = std::strchr(name, '"');
    CopyText(scan.name, name, quote != nullptr ? static_cast<std::size_t>(quote - name)
                                               : std::strlen(name));
}

bool IsServerAddress(const char* value, std::size_t length, const KnownServer& server)
{
    return std::strlen(server.address) == length &&
           std::memcmp(value, server.address, length) == 0;
}

PieceAction HandleHost(ConnectionScan& scan, char* piece, char* host)
{
    char* value = host + Length(HOST_MARKER);
    const char* close = std::strchr(value, '<');
    const std::size_t length =
        close != nullptr ? static_cast<std::size_t>(close - value) : std::strlen(value);
    if (!IsNumericHost(value, length)) return PieceAction::Copy;

    // The demo server is tested first; each address gives way only under its own server's mark.
    const KnownServer* servers[] = {&DEMO_SERVER, &MAIN_SERVER};
    const bool resolved[] = {scan.demoResolved, scan.mainResolved};
    for (int i = 0; i < 2; ++i) {
        if (resolved[i] && IsServerAddress(value, length, *servers[i])) {
            const std::size_t begin = static_cast<std::size_t>(value - piece);
            ReplaceHostAddress(piece, LINE_BUFFER_SIZE, begin, begin + length,
                               servers[i]->hostName);
            scan.changed = true;
            return PieceAction::Replaced;
        }
    }
    CopyText(scan.host, value, length);
    return PieceAction::AddHostsEntry;
}

}  // namespace

bool IsNumericHost(const char* value, std::size_t length)
{
    if (length == 0) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (value[i] != '.' && (value[i] < '0' || value[i] > '9')) return false;
    }
    return true;
}

PieceAction ScanPiece(ConnectionScan& scan, char* piece)
{
    if (std::strstr(piece, CONNECTION_END) != nullptr) {
        scan.connectionOpen = false;
        scan.name[0] = '\0';
        return PieceAction::Copy;
    }

    const char* start = std::strstr(piece, CONNECTION_START);
    if (start != nullptr || std::strstr(piece, CONNECTION_START_UNNAMED) != nullptr) {
        if (scan.connectionOpen) return PieceAction::Stop;
        scan.connectionOpen = true;
        TakeConnectionName(scan, start);
        return PieceAction::Copy;
    }

    char* host = std::strstr(piece, HOST_MARKER);
    if (host != nullptr) {
        if (!scan.connectionOpen) return PieceAction::Stop;
        return HandleHost(scan, piece, host);
    }
    return PieceAction::Copy;
}

void ReplaceHostAddress(char* line, std::size_t size, std::size_t begin, std::size_t end,
                        const char* hostName)
{
    if (size == 0) return;
    const void* terminator = std::memchr(line, '\0', size);
    if (terminator == nullptr) return;
    const std::size_t lineLength =
        static_cast<std::size_t>(static_cast<const char*>(terminator) - line);
    if (begin > end || end > lineLength) return;

    const std::size_t room = size - begin;
    const std::size_t nameLength = std::strlen(hostName);
    const std::size_t tailLength = lineLength - end;
    if (nameLength + tailLength + 1 > room) return;

    // The tail moves first (with its terminator), since the name may be longer or shorter than
    // the address and both live in the same buffer.
    std::memmove(line + begin + nameLength, line + end, tailLength + 1);
    std::memcpy(line + begin, hostName, nameLength);
}
