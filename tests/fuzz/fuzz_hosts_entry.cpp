// The existing-entry test over any hosts file: the first line of the input is the address, the
// rest the file, read in pieces. Compared with a plain restatement of the rule.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/connections.h"
#include "config/hosts_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    if (lineEnd == std::string::npos || lineEnd >= LINE_BUFFER_SIZE) return 0;
    const std::string address = input.substr(0, lineEnd);
    if (address.find('\0') != std::string::npos) return 0;

    std::size_t at = lineEnd + 1;
    char piece[LINE_BUFFER_SIZE];
    while (at < input.size()) {
        std::size_t n = 0;
        while (at < input.size() && n < LINE_BUFFER_SIZE - 1) {
            piece[n] = input[at++];
            if (piece[n++] == '\n') break;
        }
        piece[n] = '\0';
        const std::string text = piece;
        const bool expected = text.compare(0, address.size(), address) == 0 &&
                              text.size() > address.size() &&
                              std::strchr(" \t\n\v\f\r", text[address.size()]) != nullptr &&
                              text[address.size()] != '\0';
        if (PieceHasHostsEntry(piece, address.c_str()) != expected) std::abort();
    }
    return 0;
}
