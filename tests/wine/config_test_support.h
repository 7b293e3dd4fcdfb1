#ifndef VTCONSOLE_TESTS_WINE_CONFIG_TEST_SUPPORT_H
#define VTCONSOLE_TESTS_WINE_CONFIG_TEST_SUPPORT_H

// Shared by the configuration tests: a hosts file of the test's own, found through a
// SystemRoot that points into the scratch directory for as long as the object lives.

#include <cstdlib>
#include <string>

#include "tests/support/scratch_directory.h"

class ScratchSystemRoot {
public:
    explicit ScratchSystemRoot(const ScratchDirectory& scratch)
    {
        const char* previous = std::getenv("SystemRoot");
        previous_ = previous != nullptr ? previous : "";
        root_ = scratch.Path() + "windows";
        Set(root_);
        WriteFile(root_ + "\\system32\\drivers\\etc\\placeholder", "");
    }
    ~ScratchSystemRoot() { Set(previous_); }
    ScratchSystemRoot(const ScratchSystemRoot&) = delete;
    ScratchSystemRoot& operator=(const ScratchSystemRoot&) = delete;

    static void Set(const std::string& value) { _putenv(("SystemRoot=" + value).c_str()); }
    std::string HostsFile() const { return root_ + "\\system32\\drivers\\etc\\hosts"; }

private:
    std::string root_;
    std::string previous_;
};

#endif
