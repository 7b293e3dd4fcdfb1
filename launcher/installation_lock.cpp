#include "launcher/installation_lock.h"

#include "launcher/text.h"

namespace {

constexpr char LOCK_NAME_PREFIX[] = "Local\\VTConsole-";

// Writes count hexadecimal digits of value, the most significant first, and a terminator.
void WriteHexDigits(char* digits, unsigned long long value, int count)
{
    for (int i = count - 1; i >= 0; --i, value >>= 4) digits[i] = "0123456789abcdef"[value & 0xf];
    digits[count] = '\0';
}

// The folder itself, not its spelling: the volume's serial number and the folder's file index,
// which are the same through every drive letter, share, short form, junction or link that
// reaches it. False where the folder cannot be opened or its volume keeps no file index.
bool ReadFolderIdentity(const char* folder, DWORD* volume, unsigned long long* index)
{
    // Backup semantics open a directory; reading its attributes needs no other right, and
    // sharing everything keeps the open from standing in anyone's way.
    HANDLE handle = platform::CreateFileA(folder, FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL read = platform::GetFileInformationByHandle(handle, &information);
    platform::CloseHandle(handle);
    if (!read) return false;
    *volume = information.dwVolumeSerialNumber;
    *index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
             information.nFileIndexLow;
    // A file system that numbers no files gives every folder 0, which would make every
    // installation on it wait for every other.
    return *index != 0;
}

// The folder's spelling, letter case ignored, where its identity cannot be read.
bool MakeSpellingName(const char* folder, char* name, std::size_t size)
{
    // Upper case by the file system's own rules (no linguistic casing), in the system's code
    // page, which is the one the path is written in.
    char folded[MAX_PATH];
    if (platform::LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, folder, -1, folded,
                               sizeof folded) == 0) {
        return false;
    }
    // FNV-1a, 64 bits: a mutex name holds no backslash, and need not hold a whole path.
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (const char* c = folded; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
    }
    char digits[17];
    WriteHexDigits(digits, hash, 16);
    return JoinText(name, size, LOCK_NAME_PREFIX, digits);
}

}  // namespace

bool MakeInstallationLockName(const char* applicationDirectory, char* name, std::size_t size)
{
    DWORD volume = 0;
    unsigned long long index = 0;
    if (!ReadFolderIdentity(applicationDirectory, &volume, &index)) {
        return MakeSpellingName(applicationDirectory, name, size);
    }
    char identity[8 + 1 + 16 + 1];
    WriteHexDigits(identity, volume, 8);
    identity[8] = '-';
    WriteHexDigits(identity + 9, index, 16);
    return JoinText(name, size, LOCK_NAME_PREFIX, identity);
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
