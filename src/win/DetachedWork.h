// Work that may outlive its caller: a caller that stops waiting (a time limit,
// a closed dialog) leaves it to finish alone, and the DLL stays loaded for it.
#pragma once

#include <windows.h>

#include <functional>

namespace lineprobe {

class DetachedWork {
public:
    // Runs body on a thread of the process's system thread pool, which is
    // reused rather than started anew. The work holds a reference to the
    // module, which the pool gives back once the callback has returned, and
    // the module count until body has returned and everything it owns is gone,
    // so DllCanUnloadNow says no meanwhile. It tells the pool that it may run
    // long (a logon can take minutes): the pool then takes another thread for
    // the work queued behind it instead of letting that work wait (at its
    // limit of threads it starts one after a delay), and ends threads that
    // stay idle. body must own copies of all it uses and undo what it did
    // late; what it throws is dropped. Throws ComError when the work cannot be
    // queued.
    static void Start(std::function<void()> body);

    DetachedWork() = delete;
};

}  // namespace lineprobe
