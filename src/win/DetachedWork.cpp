#include "DetachedWork.h"

#include <memory>

#include "Module.h"
#include "Result.h"
#include "UniqueResource.h"

namespace lineprobe {

struct DetachedStart {
    std::function<void()> body;
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
            // The body's copies go with start, before the module count.
        }
        module::Release();
    }
};

void DetachedWork::Start(std::function<void()> body) {
    auto start = std::make_unique<DetachedStart>();
    start->body = std::move(body);
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&DetachedStart::Run),
                            &module)) {
        ThrowLastError(L"The module cannot be held for work on the thread pool");
    }
    unique_hmodule moduleHold(module);
    start->module = module;
    module::AddRef();
    if (!TrySubmitThreadpoolCallback(&DetachedStart::Run, start.get(), nullptr)) {
        const DWORD error = GetLastError();
        module::Release();
        SetLastError(error);
        ThrowLastError(L"No work can be started on the thread pool");
    }
    moduleHold.release();
    start.release();
}

}  // namespace lineprobe
