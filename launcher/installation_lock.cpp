#include "launcher/installation_lock.h"

#include "platform/account.h"
#include "platform/text.h"

namespace {

constexpr char LOCK_NAME_PREFIX[] = "Local\\VTConsole-";

// Writes the eight hexadecimal digits of value, the most significant first.
void WriteHexDigits(char* digits, DWORD value)
{
    for (int i = 7; i >= 0; --i, value >>= 4) digits[i] = "0123456789abcdef"[value & 0xf];
}

// The folder itself, not its spelling: its file index, the same through every drive letter,
// share, short form, junction or link that reaches it. Not the volume's serial number beside it:
// Wine answers that through a service whose answer under qemu may never come, and a start must
// never wait on its lock's name. So two installations on two volumes whose folders happen to
// share an index share a lock: they wait for each other, and never fail. False where the folder
// cannot be opened or its file system numbers no files.
bool ReadFolderIndex(const char* folder, ULONGLONG* index)
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
    const BOOL read = platform::GetFileIndex(handle, index);
    if (!read) ReportFailure("lock named after the path: NtQueryInformationFile %s", folder);
    platform::CloseHandle(handle);
    if (!read) return false;
    // A file system that numbers no files gives every folder 0, which would make every
    // installation on it wait for every other.
    if (*index == 0) Report("lock named after the path: no file index");
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
    ULONGLONG index = 0;
    if (!ReadFolderIndex(applicationDirectory, &index)) {
        return MakeSpellingName(applicationDirectory, name, size);
    }
    char digits[6 + 16 + 1] = "index-";
    WriteHexDigits(digits + 6, static_cast<DWORD>(index >> 32));
    WriteHexDigits(digits + 14, static_cast<DWORD>(index));
    return JoinText(name, size, LOCK_NAME_PREFIX, digits);
}

InstallationLock::InstallationLock(const char* applicationDirectory)
{
    if (!MakeInstallationLockName(applicationDirectory, name_, sizeof name_)) name_[0] = '\0';
    Take();
}

void InstallationLock::Take()
{
    if (name_[0] == '\0' || mutex_ != nullptr) return;
    HANDLE mutex = platform::CreateMutexA(nullptr, FALSE, name_);
    if (mutex == nullptr) {
        ReportFailure("no installation lock: CreateMutexA %s", name_);
        return;
    }
    const DWORD asked = AccountClock();
    const DWORD waited = platform::WaitForSingleObject(mutex, INSTALLATION_LOCK_WAIT_MS);
    const unsigned long took = AccountClock() - asked;
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        Report("installation lock %s had%s after %lu ms%s", name_, taken_ ? " again" : "", took,
               waited == WAIT_ABANDONED ? ", abandoned" : "");
        mutex_ = mutex;
        taken_ = true;
        return;
    }
    if (waited == WAIT_TIMEOUT) {
        Report("no installation lock: %s held for %lu ms", name_, took);
    } else {
        ReportFailure("no installation lock: WaitForSingleObject %s", name_);
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
