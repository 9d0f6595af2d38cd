// Drives the configuration dialog from a helper thread while the test's own
// thread waits in the modal showing: finds the shown window, records what it
// shows, sends keys and clicks through the dialog's message loop.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lineprobe::test {

inline constexpr wchar_t kDialogClass[] = L"lineprobe.frmmain";

// How long a case waits for a state it needs: on a busy machine (the 32-bit
// build runs emulated) windows come late, and only a hang waits this long.
inline constexpr int kPatience = 120000;

struct ChildInfo {
    std::wstring className;
    std::wstring text;
    RECT rect{};  // in the dialog's client area
    LONG style = 0;
    LONG exStyle = 0;
    bool visible = false;
    wchar_t passwordChar = 0;  // edits only
};

struct Snapshot {
    std::wstring caption;
    RECT windowRect{};
    RECT clientRect{};
    RECT workArea{};
    LONG style = 0;
    LONG exStyle = 0;
    HWND owner = nullptr;
    bool bigIcon = false;
    bool smallIcon = false;
    std::vector<ChildInfo> children;  // in the order the dialog manager walks them
    int focus = -1;                   // index into children
    bool fontIsDialogFont = true;
};

class DialogDriver {
public:
    explicit DialogDriver(HWND dialog, DWORD thread) : m_dialog(dialog), m_thread(thread) {}

    HWND Dialog() const { return m_dialog; }
    bool Alive() const { return IsWindow(m_dialog) != FALSE; }

    std::vector<HWND> Children() const {
        std::vector<HWND> children;
        for (HWND child = GetWindow(m_dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        return children;
    }

    HWND Child(int index) const {
        const auto children = Children();
        return index >= 0 && index < static_cast<int>(children.size()) ? children[index] : nullptr;
    }

    HWND FocusWindow() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(m_thread, &info) ? info.hwndFocus : nullptr;
    }

    int FocusIndex() const {
        const HWND focus = FocusWindow();
        const auto children = Children();
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (children[i] == focus) return static_cast<int>(i);
        }
        return -1;
    }

    Snapshot Capture() const {
        Snapshot shot;
        shot.caption = Text(m_dialog);
        GetWindowRect(m_dialog, &shot.windowRect);
        GetClientRect(m_dialog, &shot.clientRect);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &shot.workArea, 0);
        shot.style = GetWindowLongW(m_dialog, GWL_STYLE);
        shot.exStyle = GetWindowLongW(m_dialog, GWL_EXSTYLE);
        shot.owner = GetWindow(m_dialog, GW_OWNER);
        shot.bigIcon = SendMessageW(m_dialog, WM_GETICON, ICON_BIG, 0) != 0;
        shot.smallIcon = SendMessageW(m_dialog, WM_GETICON, ICON_SMALL, 0) != 0;

        LOGFONTW dialogFont{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(dialogFont), &dialogFont);
        for (const HWND child : Children()) {
            ChildInfo info;
            wchar_t className[64] = {};
            GetClassNameW(child, className, 64);
            info.className = className;
            info.text = Text(child);
            GetWindowRect(child, &info.rect);
            MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&info.rect), 2);
            info.style = GetWindowLongW(child, GWL_STYLE);
            info.exStyle = GetWindowLongW(child, GWL_EXSTYLE);
            info.visible = IsWindowVisible(child) != FALSE;
            if (info.className == L"Edit") {
                info.passwordChar = static_cast<wchar_t>(SendMessageW(child, EM_GETPASSWORDCHAR, 0, 0));
            }
            LOGFONTW font{};
            const auto handle = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
            if (!handle || !GetObjectW(handle, sizeof(font), &font) ||
                std::wstring(font.lfFaceName) != dialogFont.lfFaceName || font.lfHeight != dialogFont.lfHeight) {
                shot.fontIsDialogFont = false;
            }
            shot.children.push_back(info);
        }
        shot.focus = FocusIndex();
        return shot;
    }

    // Sets a box's text the way typing would leave it.
    void Type(int index, const std::wstring& text) const { SendMessageW(Child(index), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }

    // Posts a key press to the focused control, so it passes the dialog's own loop.
    void PressKey(WPARAM key) const {
        const HWND target = FocusWindow() ? FocusWindow() : m_dialog;
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }

    // Alt+letter as the dialog manager receives it.
    void PressAlt(wchar_t letter) const {
        const HWND target = FocusWindow() ? FocusWindow() : m_dialog;
        PostMessageW(target, WM_SYSCHAR, letter, 0x20000001);
    }

    // Waits for a state the case needs; when it never comes, Missed() names it.
    bool Await(const char* state, const std::function<bool()>& condition, int milliseconds = kPatience) const {
        if (WaitFor(condition, milliseconds)) return true;
        if (m_missed.empty()) m_missed = state;
        return false;
    }
    const std::string& Missed() const { return m_missed; }

    // Tab, then waits until the focus has moved: everything posted before has been handled.
    int Tab() const {
        const HWND before = FocusWindow();
        PressKey(VK_TAB);
        Await("the focus to move on Tab", [&] { return FocusWindow() != before || !Alive(); });
        return FocusIndex();
    }

    // A message box the dialog owns, once it shows; null when none appears in time.
    HWND WaitForMessageBox(int milliseconds = kPatience) const {
        HWND box = nullptr;
        Await("a message box of the dialog",
              [&] { return (box = MessageBoxOf(m_dialog)) != nullptr || !Alive(); }, milliseconds);
        return box;
    }

    // Reads the text of the dialog's message box and presses its OK; nothing when no box came.
    std::optional<std::wstring> AnswerMessageBox(int milliseconds = kPatience) const {
        const HWND box = WaitForMessageBox(milliseconds);
        if (!box) return std::nullopt;
        std::wstring text;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t className[64] = {};
            GetClassNameW(child, className, 64);
            if (std::wstring(className) == L"Static" && GetWindowTextLengthW(child) > 0) text = Text(child);
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        Await("the message box to close", [&] { return !IsWindow(box); });
        return text;
    }

    static HWND MessageBoxOf(HWND owner) {
        OwnedBoxSearch search{owner, nullptr};
        EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), &FindOwnedBox, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { PostMessageW(m_dialog, message, wParam, lParam); }
    void Click(int index) const { PostMessageW(Child(index), BM_CLICK, 0, 0); }

    static bool WaitFor(const std::function<bool()>& condition, int milliseconds = kPatience) {
        for (int waited = 0; waited < milliseconds; waited += 10) {
            if (condition()) return true;
            Sleep(10);
        }
        return condition();
    }

    static std::wstring Text(HWND window) {
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
        return text;
    }

private:
    struct OwnedBoxSearch {
        HWND owner;
        HWND found;
    };

    static BOOL CALLBACK FindOwnedBox(HWND window, LPARAM context) {
        auto* search = reinterpret_cast<OwnedBoxSearch*>(context);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) &&
            std::wstring(className) == L"#32770") {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }

    HWND m_dialog;
    DWORD m_thread;
    mutable std::string m_missed;
};

// Runs `show` on this thread; a helper thread waits for the dialog to appear
// and take the focus, then runs `drive` with it. Tells whether a dialog was
// seen at all; a state the case waited for in vain is a failure that names it.
class Session {
public:
    using Drive = std::function<void(DialogDriver&)>;

    template <typename Show>
    bool Run(Show&& show, const Drive& drive) {
        const DWORD thread = GetCurrentThreadId();
        std::atomic<bool> returned{false};
        bool seen = false;
        std::string missed;
        std::thread helper([&] {
            HWND dialog = nullptr;
            DialogDriver::WaitFor([&] {
                dialog = FindVisibleDialog();
                return dialog || returned.load();
            });
            if (!dialog) {
                if (!returned.load()) missed = "the dialog to show";
                return;
            }
            seen = true;
            DialogDriver driver(dialog, thread);
            // Keys go to the focused control: the case starts once the dialog has set it.
            driver.Await("the focus on a control of the dialog",
                         [&] { return IsChild(dialog, driver.FocusWindow()) || !driver.Alive(); });
            drive(driver);
            // Whatever the case left open is closed, so the test thread never hangs.
            const bool closed = driver.Await("the dialog to close after the case's last step",
                                             [&] { return returned.load(); });
            missed = driver.Missed();
            if (!closed && driver.Alive()) {
                for (int i = 0; i < 5; ++i) {
                    const HWND box = DialogDriver::MessageBoxOf(dialog);
                    if (!box) break;
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    DialogDriver::WaitFor([&] { return !IsWindow(box); }, 5000);
                }
                driver.Post(WM_CLOSE);
            }
        });
        show();
        returned = true;
        helper.join();
        if (!missed.empty()) ADD_FAILURE() << "never came: " << missed;
        return seen;
    }

    static HWND FindVisibleDialog() {
        const HWND dialog = FindWindowW(kDialogClass, nullptr);
        return dialog && IsWindowVisible(dialog) ? dialog : nullptr;
    }
};

}  // namespace lineprobe::test
