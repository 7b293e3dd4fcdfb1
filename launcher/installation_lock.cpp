#include "launcher/installation_lock.h"

#include "launcher/account.h"
#include "launcher/text.h"

namespace {

constexpr char LOCK_NAME_PREFIX[] = "Local\\VTConsole-";

// Writes the eight hexadecimal digits of value, the most significant first.
void WriteHexDigits(char* digits, DWORD value)
{
    for (int i = 7; i >= 0; --i, value >>= 4) digits[i] = "0123456789abcdef"[value & 0xf];
}

// The folder itself, not its spelling: the volume's serial number and the folder's file index,
// which are the same through every drive letter, share, short form, junction or link that
// reaches it. False where the folder cannot be opened or its volume keeps no file index.
bool ReadFolderIdentity(const char* folder, DWORD identity[3])
{
    // Backup semantics open a directory; reading its attributes needs no other right, and
    // sharing everything keeps the open from standing in anyone's way.
    HANDLE handle = platform::CreateFileA(folder, FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ReportFailure("lock named after the path: CreateFileA %s", folder);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL read = platform::GetFileInformationByHandle(handle, &information);
    if (!read) ReportFailure("lock named after the path: GetFileInformationByHandle %s", folder);
    platform::CloseHandle(handle);
    if (!read) return false;
    identity[0] = information.dwVolumeSerialNumber;
    identity[1] = information.nFileIndexHigh;
    identity[2] = information.nFileIndexLow;
    // A file system that numbers no files gives every folder 0, which would make every
    // installation on it wait for every other.
    if ((identity[1] | identity[2]) == 0) Report("lock named after the path: no file index");
    return (identity[1] | identity[2]) != 0;
}

// The folder's spelling, letter case ignored, where its identity cannot be read.
bool MakeSpellingName(const char* folder, char* name, std::size_t size)
{
    // Upper case by the file system's own rules (no linguistic casing), in the system's code
    // page, which is the one the path is written in.
    char folded[MAX_PATH];
    if (platform::LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, folder, -1, folded,
                               sizeof folded) == 0) {
        ReportFailure("no installation lock: LCMapStringA %s", folder);
        return false;
    }
    // FNV-1a, 64 bits: a mutex name holds no backslash, and need not hold a whole path.
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (const char* c = folded; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
    }
    char digits[17] = {};
    WriteHexDigits(digits, static_cast<DWORD>(hash >> 32));
    WriteHexDigits(digits + 8, static_cast<DWORD>(hash));
    return JoinText(name, size, LOCK_NAME_PREFIX, digits);
}

}  // namespace

bool MakeInstallationLockName(const char* applicationDirectory, char* name, std::size_t size)
{
    DWORD identity[3];
    if (!ReadFolderIdentity(applicationDirectory, identity)) {
        return MakeSpellingName(applicationDirectory, name, size);
    }
    // The volume, a dash, the file index.
    char digits[8 + 1 + 16 + 1] = {};
    WriteHexDigits(digits, identity[0]);
    digits[8] = '-';
    WriteHexDigits(digits + 9, identity[1]);
    WriteHexDigits(digits + 17, identity[2]);
    return JoinText(name, size, LOCK_NAME_PREFIX, digits);
}

InstallationLock::InstallationLock(const char* applicationDirectory)
{
    char name[64];
    if (!MakeInstallationLockName(applicationDirectory, name, sizeof name)) return;
    HANDLE mutex = platform::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        ReportFailure("no installation lock: CreateMutexA %s", name);
        return;
    }
    const DWORD asked = AccountClock();
    const DWORD waited = platform::WaitForSingleObject(mutex, INSTALLATION_LOCK_WAIT_MS);
    const unsigned long took = AccountClock() - asked;
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        Report("installation lock %s had after %lu ms%s", name, took,
               waited == WAIT_ABANDONED ? ", abandoned" : "");
        mutex_ = mutex;
        return;
    }
    if (waited == WAIT_TIMEOUT) {
        Report("no installation lock: %s held for %lu ms", name, took);
    } else {
        ReportFailure("no installation lock: WaitForSingleObject %s", name);
    }
    platform::CloseHandle(mutex);
}

void InstallationLock::Release()
{
    if (mutex_ == nullptr) return;
    if (!platform::ReleaseMutex(mutex_)) ReportFailure("installation lock: ReleaseMutex");
    platform::CloseHandle(mutex_);
    mutex_ = nullptr;
}
