// 32-bit Wine under qemu crashes a process that ends while idle threads of the
// system thread pool (where detached work runs) still wait for work. The pool
// ends a thread after a few idle seconds: a 32-bit test program waits at its
// end until no more threads are left than it began with, or for six seconds.
#include <windows.h>
#include <tlhelp32.h>

namespace {

int ThreadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return count;
}

struct IdlePoolThreads {
    const int atStart = ThreadsOfThisProcess();
    ~IdlePoolThreads() {
        for (int i = 0; i < 60 && ThreadsOfThisProcess() > atStart; ++i) Sleep(100);
    }
} g_idlePoolThreads;

}  // namespace
