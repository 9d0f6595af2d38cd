// Hosts that show the configuration dialog from more than one thread: the
// window class is the module's, shared by every thread's dialogs, and each
// showing carries the dialog's help context.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Apartment.h"
#include "DialogDriver.h"
#include "HostSupport.h"

namespace lineprobe::test {
namespace {

constexpr DWORD kHelpContext = 206;

// The timer of each showing runs on the dialog's own thread.
thread_local DWORD t_helpContext = 0;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) != kDialogClass || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK CloseOwnDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) return;
    t_helpContext = GetWindowContextHelpId(dialog);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

// Shows and closes a new object's dialog `rounds` times; what went wrong, as text.
std::vector<std::wstring> ShowRounds(int rounds) {
    std::vector<std::wstring> failures;
    const Apartment apartment;
    for (int round = 0; round < rounds; ++round) {
        const auto object = NewTestObject();
        if (!object) return {L"no object"};
        t_helpContext = 0;
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, &CloseOwnDialog);
        const HRESULT hr = object->ec_showGUI();
        KillTimer(nullptr, timer);
        if (hr != S_OK) failures.push_back(L"round " + std::to_wstring(round) + L": hr " + std::to_wstring(hr));
        if (t_helpContext != kHelpContext) {
            failures.push_back(L"round " + std::to_wstring(round) + L": help context " + std::to_wstring(t_helpContext));
        }
    }
    return failures;
}

TEST(DialogThreads, EachShowingCarriesTheHelpContext) {
    const auto failures = ShowRounds(3);
    EXPECT_TRUE(failures.empty()) << Narrow(failures);
}

// 64-bit only: 32-bit Wine, which runs under qemu here, crashes when COM runs
// on a second thread.
#ifdef _WIN64
TEST(DialogThreads, TwoHostThreadsShowAndCloseDialogsAtOnce) {
    std::vector<std::wstring> failures[2];
    std::thread first([&] { failures[0] = ShowRounds(20); });
    std::thread second([&] { failures[1] = ShowRounds(20); });
    first.join();
    second.join();
    EXPECT_TRUE(failures[0].empty()) << Narrow(failures[0]);
    EXPECT_TRUE(failures[1].empty()) << Narrow(failures[1]);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
}
#endif

}  // namespace
}  // namespace lineprobe::test
