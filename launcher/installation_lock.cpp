#include "launcher/installation_lock.h"

#include "launcher/text.h"

bool MakeInstallationLockName(const char* applicationDirectory, char* name, std::size_t size)
{
    // Upper case by the file system's own rules (no linguistic casing), in the system's code
    // page, which is the one the path is written in.
    char folded[MAX_PATH];
    if (platform::LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, applicationDirectory, -1,
                               folded, sizeof folded) == 0) {
        return false;
    }
    // FNV-1a, 64 bits.
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (const char* c = folded; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
    }
    char digits[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = "0123456789abcdef"[hash & 0xf];
    digits[16] = '\0';
    return JoinText(name, size, "Local\\VTConsole-", digits);
}

InstallationLock::InstallationLock(const char* applicationDirectory)
{
    char name[64];
    if (!MakeInstallationLockName(applicationDirectory, name, sizeof name)) return;
    HANDLE mutex = platform::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) return;
    const DWORD waited = platform::WaitForSingleObject(mutex, INSTALLATION_LOCK_WAIT_MS);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        mutex_ = mutex;
        return;
    }
    platform::CloseHandle(mutex);
}

void InstallationLock::Release()
{
    if (mutex_ == nullptr) return;
    platform::ReleaseMutex(mutex_);
    platform::CloseHandle(mutex_);
    mutex_ = nullptr;
}
