// 32-bit Wine under qemu crashes a process that ends while idle threads of the
// system thread pool, where the component's detached work runs, still wait for
// work; Windows and 64-bit Wine end such a process cleanly. The pool ends a
// thread after some idle seconds, so a 32-bit test program waits for that
// before it ends: until no more threads are left than it began with, or their
// count has stood still for longer than the pool keeps an idle thread.
#include <windows.h>
#include <tlhelp32.h>

namespace {

constexpr ULONGLONG kPoolIdleMilliseconds = 6000;

int ThreadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

struct IdlePoolThreads {
    const int atStart = ThreadsOfThisProcess();

    ~IdlePoolThreads() {
        int count = ThreadsOfThisProcess();
        ULONGLONG still = GetTickCount64();
        while (count > atStart && GetTickCount64() - still < kPoolIdleMilliseconds) {
            Sleep(100);
            const int now = ThreadsOfThisProcess();
            if (now != count) still = GetTickCount64();
            count = now;
        }
    }
} g_idlePoolThreads;

}  // namespace
