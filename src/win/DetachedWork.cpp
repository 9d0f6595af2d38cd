#include "DetachedWork.h"

#include "Module.h"
#include "Result.h"

namespace lineprobe {

struct DetachedStart {
    std::function<void()> body;
    std::shared_ptr<DetachedWork> work;
    HMODULE module = nullptr;

    static void CALLBACK Run(PTP_CALLBACK_INSTANCE instance, void* context) noexcept {
        {
            const std::unique_ptr<DetachedStart> start(static_cast<DetachedStart*>(context));
            // The module may be unloaded the moment its reference goes: the
            // pool gives it back only after this callback has returned.
            FreeLibraryWhenCallbackReturns(instance, start->module);
            // False only when the pool has no thread to spare; body runs all the same.
            CallbackMayRunLong(instance);
            try {
                start->body();
            } catch (...) {
                // Nobody is left to tell; the body reports through what it shares.
            }
            // The body's copies go before anyone hears that it has ended.
            start->body = nullptr;
            SetEvent(start->work->m_done.get());
        }
        module::Release();
    }
};

std::shared_ptr<DetachedWork> DetachedWork::Start(std::function<void()> body) {
    unique_handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) ThrowLastError(L"No work can be started on the thread pool");
    auto start = std::make_unique<DetachedStart>();
    start->body = std::move(body);
    start->work = std::make_shared<DetachedWork>(std::move(done));
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&DetachedStart::Run),
                            &module)) {
        ThrowLastError(L"The module cannot be held for work on the thread pool");
    }
    unique_hmodule moduleHold(module);
    start->module = module;
    module::AddRef();
    // Taken before the work is queued: the callback owns start from then on.
    std::shared_ptr<DetachedWork> work = start->work;
    if (!TrySubmitThreadpoolCallback(&DetachedStart::Run, start.get(), nullptr)) {
        const DWORD error = GetLastError();
        module::Release();
        SetLastError(error);
        ThrowLastError(L"No work can be started on the thread pool");
    }
    moduleHold.release();
    start.release();
    return work;
}

bool DetachedWork::WaitFor(DWORD milliseconds) const noexcept {
    return WaitForSingleObject(m_done.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace lineprobe
