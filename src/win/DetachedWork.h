// Work that may outlive its caller: a caller that stops waiting (a time limit,
// a closed dialog) leaves it to finish alone, and the DLL stays loaded for it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "UniqueResource.h"

namespace lineprobe {

class DetachedWork {
public:
    // Runs body on a thread of its own, which holds a reference to the module
    // and the module count until body has returned and everything it owns is
    // gone, so DllCanUnloadNow says no meanwhile. body must own copies of all it
    // uses and undo what it did late; what it throws is dropped. Throws
    // ComError when no thread can be started.
    static std::shared_ptr<DetachedWork> Start(std::function<void()> body);

    // True when body has returned within the time.
    bool WaitFor(DWORD milliseconds) const noexcept;

    explicit DetachedWork(unique_handle done) noexcept : m_done(std::move(done)) {}

private:
    friend struct DetachedStart;
    unique_handle m_done;  // set once body has returned
};

}  // namespace lineprobe
