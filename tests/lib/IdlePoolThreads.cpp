// 32-bit Wine under qemu crashes a process that ends while idle threads of the
// system thread pool (where detached work runs) still wait for work. The pool
// ends a thread after a few idle seconds: a 32-bit test program waits at its
// end until no more threads are left than it began with, or for six seconds,
// and says so when it gives up.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <memory>

namespace {

int ThreadsOfThisProcess() {
    const std::unique_ptr<void, decltype(&CloseHandle)> snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0),
                                                                  &CloseHandle);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    return count;
}

struct IdlePoolThreads {
    const int atStart = ThreadsOfThisProcess();
    ~IdlePoolThreads() {
        for (int i = 0; i < 60 && ThreadsOfThisProcess() > atStart; ++i) Sleep(100);
        if (const int left = ThreadsOfThisProcess() - atStart; left > 0) {
            std::fprintf(stderr, "%d threads more than at the start still there after 6 s: ending with them\n", left);
        }
    }
} g_idlePoolThreads;

}  // namespace
