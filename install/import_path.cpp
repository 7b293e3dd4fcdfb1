#include "install/import_path.h"

#include <cstring>

#include "platform/text.h"

bool PlaceFileName(char* path, std::size_t size, const char* name)
{
    char* lastBackslash = std::strrchr(path, '\\');
    if (lastBackslash == nullptr) return false;
    char* fileName = lastBackslash + 1;
    // JoinText writes the whole name or leaves an empty string where it would have gone.
    return JoinText(fileName, size - static_cast<std::size_t>(fileName - path), name, "");
}
