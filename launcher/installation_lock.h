#ifndef VTCONSOLE_LAUNCHER_INSTALLATION_LOCK_H
#define VTCONSOLE_LAUNCHER_INSTALLATION_LOCK_H

// The lock that lets the starts of one installation prepare it one at a time: a named mutex
// whose name comes from the application directory itself, however it is spelled, so that two
// installations never wait for each other. It can only spare a start a failure, never cause
// one: where it cannot be made, opened or had within the wait, the start goes on without it.

#include <cstddef>

#include "platform/platform.h"

// The longest wait for another start of the installation: a large merge, and a hand-over's ten
// seconds of retries, fit in it many times.
constexpr DWORD INSTALLATION_LOCK_WAIT_MS = 60000;

// Writes the lock's name for the application directory into name: made from the file index of
// the directory, so the same through every path that reaches it; where those cannot be
// read, from the path, letter case ignored. False when neither can be had or the name does not
// fit.
bool MakeInstallationLockName(const char* applicationDirectory, char* name, std::size_t size);

// Waits for the installation's lock, up to INSTALLATION_LOCK_WAIT_MS, and holds it until
// Release or the end of the scope; Take waits for it again after a Release, with the same bound.
// A process that ends holding it leaves it abandoned, which the next start takes as its own.
class InstallationLock {
public:
    explicit InstallationLock(const char* applicationDirectory);
    ~InstallationLock() { Release(); }
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;

    void Take();
    void Release();

private:
    char name_[64] = {};      // empty when no name could be made
    HANDLE mutex_ = nullptr;  // held; nullptr when the start goes on without the lock
    bool taken_ = false;      // had once already, which the account says
};

#endif
