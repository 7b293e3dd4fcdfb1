/* Lets 32-bit Wine start quickly under qemu-user, on machines whose kernel cannot run 32-bit
   programs itself.

   Debian's Wine has no preloader, so its 32-bit loader reserves the Windows address space with
   mmap(MAP_FIXED_NOREPLACE) and halves every range it does not get, down to 64 KiB pieces.
   qemu-user treats that flag as a mere hint: it hands back some other address, which Wine keeps
   as reserved, and every request above 2 GiB fails, so a start costs some 130,000 emulated mmap
   calls (about 50 s). This library, preloaded into the emulated Wine only, fails requests above
   2 GiB at once and gives the flag its real meaning (the mapping lands where asked or not at
   all), and a start takes a fraction of a second. Built with: clang --target=i686-linux-gnu
   -O2 -fPIC -shared -nostdlib. */

typedef unsigned int size_t;
typedef long long off64_t;
typedef void *(*mmap64_function)(void *, size_t, int, int, int, off64_t);

extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
extern int munmap(void *address, size_t length);
extern int unsetenv(const char *name);

#define RTLD_NEXT ((void *)-1l)
#define MAP_FAILED ((void *)-1)
#define MAP_FIXED_NOREPLACE 0x100000
#define ENOMEM 12
#define EEXIST 17

void *mmap64(void *address, size_t length, int protection, int flags, int fd, off64_t offset)
{
    static mmap64_function next;
    void *mapped;

    if ((flags & MAP_FIXED_NOREPLACE) && (unsigned long)address >= 0x80000000ul) {
        *__errno_location() = ENOMEM;
        return MAP_FAILED;
    }
    if (!next) next = (mmap64_function)dlsym(RTLD_NEXT, "mmap64");
    mapped = next(address, length, protection, flags, fd, offset);
    if ((flags & MAP_FIXED_NOREPLACE) && mapped != MAP_FAILED && mapped != address) {
        munmap(mapped, length);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return mapped;
}

/* qemu sets LD_PRELOAD for the emulated program only (QEMU_SET_ENV); taking it out of the
   environment again keeps it away from the 64-bit Wine processes this one starts. */
__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }
