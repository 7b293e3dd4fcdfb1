#ifndef VTCONSOLE_TESTS_SUPPORT_SCRATCH_DIRECTORY_H
#define VTCONSOLE_TESTS_SUPPORT_SCRATCH_DIRECTORY_H

// A fresh, empty directory that is the current directory while the object lives, and small
// helpers for the files the tests lay out and inspect in it. Files are handled in binary, so a
// test sees exactly the bytes on disk.

#include <string>

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The directory's absolute path, with a trailing backslash.
    const std::string& Path() const { return path_; }
    std::wstring WidePath() const { return std::wstring(path_.begin(), path_.end()); }  // ASCII

private:
    std::string path_;
    std::string previous_;
};

// Paths are relative to the current directory; WriteFile creates the directories on the way.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Removes a directory with everything in it, read-only entries included.
void RemoveTree(const std::string& directory);
// Creates the directory path, whose parent exists, and returns its short form in the ANSI code
// page: the helpers above reach it by that name even where its own has letters that the code
// page lacks.
std::string MakeWideDirectory(const std::wstring& path);

#endif
