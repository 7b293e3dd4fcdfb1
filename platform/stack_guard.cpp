// What code compiled with -fstack-protector-strong calls on: the canary that a function with a
// buffer on its stack puts below its return address and checks before it returns, and what
// happens when the check fails. GCC's own library for this would cost the launcher 2.5 KB and a
// console write; this is all it needs.

#include "platform/platform.h"

#include <ntsecapi.h>

#include <cstdint>

extern "C" {

// Replaced by a random value before the program's own code runs; this one only stands until
// then, and where the system has no random bytes to give.
std::uintptr_t __stack_chk_guard = 0x5d2f9c13u;

// A buffer overrun has overwritten the canary, and maybe the return address above it: the
// process ends at once, running nothing more of its own, with the code Windows gives such a
// process.
__attribute__((noreturn)) void __stack_chk_fail()
{
    ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

}  // extern "C"

namespace {

// Runs among the C runtime's start-up constructors, before WinMain; it must not check a canary
// itself, since it changes the one it would check.
__attribute__((constructor, no_stack_protector)) void ChooseStackGuard()
{
    RtlGenRandom(&__stack_chk_guard, sizeof __stack_chk_guard);
}

}  // namespace
