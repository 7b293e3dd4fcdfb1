#include "update/patch_paths.h"

#include <cstring>

#include "platform/text.h"

const char* PathBelowTop(const char* source)
{
    const char* backslash = std::strchr(source, '\\');
    return backslash == nullptr ? nullptr : backslash + 1;
}

bool BuildDestinationPath(char* buffer, std::size_t size, const char* prefix, const char* source)
{
    const char* below = PathBelowTop(source);
    if (below == nullptr) {
        if (size != 0) buffer[0] = '\0';
        return false;
    }
    return JoinText(buffer, size, prefix, below);
}

bool BuildSearchPattern(char* buffer, std::size_t size, const char* source)
{
    return JoinText(buffer, size, source, "\\*");
}

bool SearchPatternFits(std::size_t size, const char* source)
{
    return std::strlen(source) + sizeof "\\*" <= size;
}

bool BuildChildPath(char* buffer, std::size_t size, const char* source, const char* name)
{
    return JoinText(buffer, size, source, "\\", name);
}

bool IsSelfOrParent(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}
