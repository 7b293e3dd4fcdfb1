#include "tests/support/scratch_directory.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>

void RemoveTree(const std::string& directory)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            // The short name reaches an entry whose long name the ANSI code page cannot spell.
            const std::string name =
                entry.cAlternateFileName[0] != '\0' ? entry.cAlternateFileName : entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = directory + "\\" + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(directory.c_str());
}

namespace {

void CreateParents(const std::string& path)
{
    for (std::size_t slash = path.find('\\'); slash != std::string::npos;
         slash = path.find('\\', slash + 1)) {
        ::CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    }
}

}  // namespace

ScratchDirectory::ScratchDirectory()
{
    char buffer[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, buffer);
    previous_ = buffer;
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::string(temp) + "vt-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no scratch dir");
    }
    path_ += "\\";
    ::SetCurrentDirectoryA(path_.c_str());
}

ScratchDirectory::~ScratchDirectory()
{
    ::SetCurrentDirectoryA(previous_.c_str());
    RemoveTree(path_.substr(0, path_.size() - 1));
}

void WriteFile(const std::string& path, const std::string& content)
{
    CreateParents(path);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

std::string ReadFile(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot read " + path);
    std::string content;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        content.append(chunk, got);
    }
    std::fclose(file);
    return content;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string MakeWideDirectory(const std::wstring& path)
{
    if (!::CreateDirectoryW(path.c_str(), nullptr)) throw std::runtime_error("no wide directory");
    wchar_t shortForm[MAX_PATH];
    char narrow[MAX_PATH];
    BOOL usedDefault = FALSE;
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortForm, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        !::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shortForm, -1, narrow, MAX_PATH,
                               nullptr, &usedDefault) ||
        usedDefault) {
        throw std::runtime_error("no faithful short form");
    }
    return narrow;
}
