// GoogleTest echoes every failed expectation to a debugger with OutputDebugStringA. Under qemu,
// in a process in which a thread has run, that call crashes or hangs the 32-bit Wine process
// (measured: a program that starts a thread, waits for it and then calls OutputDebugStringA
// ends with a segmentation fault or never ends), so a test that fails would kill the whole
// program before it reports. No debugger reads that echo under Wine; the text is on the standard
// output all the same. This test program takes the place of the import, so the call does
// nothing.

#include <windows.h>

namespace {

void WINAPI EchoToNoDebugger(LPCSTR /*text*/) {}

}  // namespace

// The pointer through which calls of the imported function go (__imp__OutputDebugStringA@4),
// defined here, so that the linker takes it instead of kernel32's.
extern "C" void(WINAPI* const vtNoDebugOutput)(LPCSTR) __asm__("__imp__OutputDebugStringA@4");
extern "C" void(WINAPI* const vtNoDebugOutput)(LPCSTR) = EchoToNoDebugger;
