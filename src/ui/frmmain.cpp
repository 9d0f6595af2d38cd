#include "frmmain.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "DetachedWork.h"
#include "DialogIcon.h"
#include "FormLayout.h"
#include "Module.h"
#include "ParameterString.h"
#include "Result.h"
#include "SecretText.h"
#include "UniqueResource.h"

namespace lineprobe {
namespace {

constexpr wchar_t kClassName[] = L"lineprobe.frmmain";
// Control ids start clear of IDOK and IDCANCEL: the dialog manager sends those
// for Enter in a text box and for Escape, and the dialog ignores both.
constexpr int kFirstControlId = 100;
// The help context the dialog carries among its window properties.
constexpr DWORD kHelpContext = 206;
// Posted by a test worker when its answer is ready.
constexpr UINT kTestAnswered = WM_APP + 1;

// A module without a version block shows version 0.0 build  0 rather than failing.
FileVersion ModuleVersion(HMODULE module) {
    return ReadFileVersion(ModuleFilePath(module)).value_or(FileVersion{});
}

struct Dpi {
    int x = 96, y = 96;
};

Dpi ScreenDpi() {
    Dpi dpi;
    if (const HDC screen = GetDC(nullptr)) {
        dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
        dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

// A missing icon is no reason to refuse the dialog; the window then shows the system's.
unique_hicon LoadDialogIcon(HMODULE module, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return unique_hicon(static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(LINEPROBE_IDI_DIALOG), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassFor(const ControlSpec& control) {
    switch (control.kind) {
    case ControlKind::Frame:
        return {L"BUTTON", BS_GROUPBOX, 0};
    case ControlKind::Label:
        // A label is one line: it never wraps, whatever the width of the font.
        return {L"STATIC",
                static_cast<DWORD>(SS_NOPREFIX | (control.settings & kRightAligned ? SS_RIGHT : SS_LEFTNOWORDWRAP)),
                0};
    case ControlKind::TextBox:
        return {L"EDIT",
                static_cast<DWORD>(WS_TABSTOP | WS_GROUP | ES_LEFT | ES_AUTOHSCROLL |
                                   (control.settings & kPasswordChar ? ES_PASSWORD : 0)),
                WS_EX_CLIENTEDGE};
    case ControlKind::CommandButton:
        return {L"BUTTON", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0};
    }
    return {L"STATIC", 0, 0};
}

// One registration of the window class for the whole module, counted by the
// loaded dialogs of every thread: a DLL has to take its classes away itself
// before it is unloaded, and one thread's dialog must never unregister the
// class under another thread that is about to create its window.
class WindowClass {
public:
    WindowClass(HMODULE module, WNDPROC procedure) : m_module(module) {
        const std::lock_guard<std::mutex> hold(s_lock);
        if (s_users == 0) {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = procedure;
            windowClass.hInstance = module;
            windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            windowClass.lpszClassName = kClassName;
            if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
                ThrowLastError(L"The configuration dialog cannot register its window class");
            }
        }
        ++s_users;
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    ~WindowClass() {
        const std::lock_guard<std::mutex> hold(s_lock);
        if (--s_users == 0) UnregisterClassW(kClassName, m_module);
    }

private:
    static inline std::mutex s_lock;
    static inline int s_users = 0;
    HMODULE m_module;
};

// A modal dialog without owner keeps the rest of the caller's thread out of
// reach, so the host cannot start a second showing underneath it.
class OtherThreadWindowsDisabled {
public:
    explicit OtherThreadWindowsDisabled(HWND dialog) : m_dialog(dialog) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        if (m_outOfMemory) {
            throw std::bad_alloc();
        }
        for (const HWND window : m_windows) {
            EnableWindow(window, FALSE);
        }
    }
    OtherThreadWindowsDisabled(const OtherThreadWindowsDisabled&) = delete;
    OtherThreadWindowsDisabled& operator=(const OtherThreadWindowsDisabled&) = delete;
    ~OtherThreadWindowsDisabled() {
        for (auto window = m_windows.rbegin(); window != m_windows.rend(); ++window) {
            EnableWindow(*window, TRUE);
        }
    }

private:
    static BOOL CALLBACK Collect(HWND window, LPARAM context) noexcept {
        auto* self = reinterpret_cast<OtherThreadWindowsDisabled*>(context);
        if (window == self->m_dialog || !IsWindowVisible(window) || !IsWindowEnabled(window)) {
            return TRUE;
        }
        try {
            self->m_windows.push_back(window);
        } catch (const std::bad_alloc&) {
            self->m_outOfMemory = true;
            return FALSE;
        }
        return TRUE;
    }

    HWND m_dialog;
    std::vector<HWND> m_windows;
    bool m_outOfMemory = false;
};

// What the dialog and its test worker share. The dialog drops the run before
// its window goes, so the worker never posts to a window that is gone or to
// another window that got the same handle; a late answer is thrown away.
class TestRun {
public:
    explicit TestRun(HWND window) noexcept : m_window(window) {}

    void Drop() noexcept {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_window = nullptr;
    }

    void Answer(TestAnswer answer) noexcept {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (!m_window) return;
        m_answer = std::move(answer);
        PostMessageW(m_window, kTestAnswered, 0, 0);
    }

    std::optional<TestAnswer> TakeAnswer() noexcept {
        const std::lock_guard<std::mutex> hold(m_lock);
        return std::exchange(m_answer, std::nullopt);
    }

private:
    std::mutex m_lock;
    HWND m_window;
    std::optional<TestAnswer> m_answer;
};

TestAnswer RunTester(const CheckTester& tester, std::wstring_view parameter) noexcept {
    try {
        return tester(parameter);
    } catch (...) {
        return {false, L"ERR: The test could not run"};
    }
}

// The wait cursor shows at once, not only when the mouse next moves.
void RefreshCursor(HWND window, bool waiting) {
    POINT point{};
    if (!GetCursorPos(&point)) return;
    const HWND under = WindowFromPoint(point);
    if (under == window || IsChild(window, under)) {
        SetCursor(LoadCursorW(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
    }
}

}  // namespace

// Everything a loaded dialog holds; declared so that the window goes first.
struct frmmain::Loaded {
    explicit Loaded(HMODULE module) : windowClass(module, &frmmain::WindowProc) {}

    WindowClass windowClass;
    unique_hicon bigIcon;
    unique_hicon smallIcon;
    unique_hwnd window;
    std::array<HWND, kFrmmainControls.size()> controls{};  // children: destroyed with the window
    HWND focus = nullptr;                                   // given back when the window is activated again
    std::shared_ptr<TestRun> test;                          // while a test runs
};

frmmain::frmmain() noexcept = default;

frmmain::~frmmain() { Unload(); }

void frmmain::Load() {
    if (m_loaded) {
        return;
    }
    try {
        const HMODULE module = ThisModule();
        m_loaded = std::make_unique<Loaded>(module);
        const Dpi dpi = ScreenDpi();
        CreateFrame(module, dpi.x, dpi.y);
        CreateControls(module, dpi.x, dpi.y);
        m_loaded->focus = Control(L"btOK");
        RunLoadStep();
    } catch (...) {
        Unload();
        throw;
    }
}

// The top-level window with its icons, sized for the client area of the layout.
void frmmain::CreateFrame(HMODULE module, int dpiX, int dpiY) {
    Loaded& loaded = *m_loaded;
    loaded.bigIcon = LoadDialogIcon(module, SM_CXICON);
    loaded.smallIcon = LoadDialogIcon(module, SM_CXSMICON);

    const DWORD style = WS_OVERLAPPEDWINDOW;
    const DWORD exStyle = WS_EX_APPWINDOW;
    RECT frame{0, 0, TwipsToPixels(kFrmmain.clientWidth, dpiX), TwipsToPixels(kFrmmain.clientHeight, dpiY)};
    if (!AdjustWindowRectEx(&frame, style, FALSE, exStyle)) {
        ThrowLastError(L"The configuration dialog cannot compute its size");
    }
    // Without an owner to centre over, the dialog is centred on the work area.
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        ThrowLastError(L"The configuration dialog cannot find the work area");
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = work.left + std::max(0, static_cast<int>(work.right - work.left - width) / 2);
    const int y = work.top + std::max(0, static_cast<int>(work.bottom - work.top - height) / 2);

    const std::wstring caption(kFrmmain.caption);
    loaded.window.reset(CreateWindowExW(exStyle, kClassName, caption.c_str(), style, x, y, width, height, nullptr,
                                        nullptr, module, this));
    if (!loaded.window) {
        ThrowLastError(L"The configuration dialog cannot create its window");
    }
    const HWND window = loaded.window.get();
    SetWindowContextHelpId(window, kHelpContext);
    if (loaded.bigIcon) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(loaded.bigIcon.get()));
    if (loaded.smallIcon) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(loaded.smallIcon.get()));
}

// Created in tab order: the dialog manager's Tab follows the order of the children.
void frmmain::CreateControls(HMODULE module, int dpiX, int dpiY) {
    // The default GUI font, which the layout was made for; a stock object, never deleted.
    const auto font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (std::size_t i = 0; i < kFrmmainControls.size(); ++i) {
        const ControlSpec& entry = kFrmmainControls[i];
        const ControlClass controlClass = ClassFor(entry);
        const TwipsRect rect = ClientRectTwips(entry);
        const int left = TwipsToPixels(rect.left, dpiX);
        const int top = TwipsToPixels(rect.top, dpiY);
        const int right = TwipsToPixels(rect.left + rect.width, dpiX);
        const int bottom = TwipsToPixels(rect.top + rect.height, dpiY);
        const std::wstring text(entry.text);
        const HWND control = CreateWindowExW(
            controlClass.exStyle, controlClass.name, text.c_str(), WS_CHILD | WS_VISIBLE | controlClass.style, left,
            top, right - left, bottom - top, m_loaded->window.get(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)), module, nullptr);
        if (!control) {
            ThrowLastError(L"The configuration dialog cannot create its controls");
        }
        m_loaded->controls[i] = control;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (entry.kind == ControlKind::TextBox) {
            SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // 0: as long as the system allows
        }
        if (entry.settings & kPasswordChar) {
            SendMessageW(control, EM_SETPASSWORDCHAR, L'*', 0);
        }
    }
}

// The caption names the module's version; the timeout row stays hidden.
void frmmain::RunLoadStep() {
    const FileVersion version = ModuleVersion(ThisModule());
    const std::wstring caption = FormCaption(version.major, version.minor, version.revision);
    if (!SetWindowTextW(m_loaded->window.get(), caption.c_str())) {
        ThrowLastError(L"The configuration dialog cannot set its caption");
    }
    ShowWindow(Control(L"Label4"), SW_HIDE);
    ShowWindow(Control(L"Label5"), SW_HIDE);
    ShowWindow(Control(L"txtTimeout"), SW_HIDE);
}

// The parameter string OK would store; nothing when the max. age breaks its
// rule, which the user is told, with the box ready for a new value.
std::optional<std::wstring> frmmain::ParameterFromBoxes() {
    ParameterFields fields{Text(L"txtlogfilename"), Text(L"txtUserName"), Text(L"txtPassword"),
                           Text(L"txtUP"),          Text(L"txtDown"),     Text(L"txtMaxAge")};
    // The password box's text is wiped however this ends.
    const WipedOnExit wipe(fields.password);
    if (!ParseMaxAge(fields.maxAge).valid) {
        const std::wstring rule(kMaxAgeRule);
        const std::wstring caption(kFrmmain.caption);
        MessageBoxW(m_loaded->window.get(), rule.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
        if (m_loaded && m_loaded->window) {
            const HWND box = Control(L"txtMaxAge");
            SetFocus(box);
            SendMessageW(box, EM_SETSEL, 0, -1);
        }
        return std::nullopt;
    }
    return BuildParameterString(fields);
}

void frmmain::OnOk() {
    std::optional<std::wstring> parameter = ParameterFromBoxes();
    if (!parameter) {
        return;
    }
    m_result = std::move(parameter);
    // Unloading follows as soon as the modal loop has control again.
    EndShowing();
}

// One check with what the boxes hold now, on a worker, so that a slow logon
// never stops the window; nothing is stored.
void frmmain::OnTest() {
    if (!m_tester || m_loaded->test) {
        return;
    }
    std::optional<std::wstring> parameter = ParameterFromBoxes();
    if (!parameter || !m_loaded || !m_loaded->window) {
        return;
    }
    auto run = std::make_shared<TestRun>(m_loaded->window.get());
    // The work owns copies of the tester and of the configuration, whose
    // password is wiped when the work ends; the dialog may be gone by then.
    auto configuration = std::make_shared<SecretText>(std::move(*parameter));
    DetachedWork::Start([run, tester = m_tester, configuration] { run->Answer(RunTester(tester, configuration->View())); });
    m_loaded->test = std::move(run);
    ShowTesting(true);
}

// The verdict and the result text, never the parameter string with its password.
void frmmain::OnTestAnswered() {
    if (!m_loaded || !m_loaded->test) {
        return;
    }
    const std::optional<TestAnswer> answer = m_loaded->test->TakeAnswer();
    if (!answer) {
        return;
    }
    m_loaded->test.reset();
    ShowTesting(false);
    const std::wstring text = (answer->up ? L"Up\n" : L"Down\n") + answer->text;
    const std::wstring caption(kFrmmain.caption);
    MessageBoxW(m_loaded->window.get(), text.c_str(), caption.c_str(),
                MB_OK | (answer->up ? MB_ICONINFORMATION : MB_ICONWARNING));
}

void frmmain::ShowTesting(bool testing) {
    const HWND window = m_loaded->window.get();
    const HWND button = Control(L"btTest");
    // A disabled button cannot keep the focus: the keyboard would go dead.
    if (testing && GetFocus() == button) {
        SetFocus(Control(L"btOK"));
    }
    EnableWindow(button, testing ? FALSE : TRUE);
    RefreshCursor(window, testing);
}

void frmmain::DropTest() noexcept {
    if (m_loaded && m_loaded->test) {
        m_loaded->test->Drop();
        m_loaded->test.reset();
    }
}

HWND frmmain::Control(std::wstring_view name) const {
    const auto index = FindControl(name);
    if (!index) {
        throw ComError(DISP_E_MEMBERNOTFOUND, L"The configuration dialog has no control " + std::wstring(name));
    }
    return m_loaded->controls[*index];
}

void frmmain::SetText(std::wstring_view control, std::wstring_view text) {
    Load();
    // The text may be the password: the copy goes like every other that held it.
    const SecretText value(std::wstring{text});
    if (!SetWindowTextW(Control(control), value.CStr())) {
        ThrowLastError(L"The configuration dialog cannot set the text of a box");
    }
}

std::wstring frmmain::Text(std::wstring_view control) {
    Load();
    const HWND window = Control(control);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND frmmain::Hwnd() {
    Load();
    return m_loaded->window.get();
}

std::optional<std::wstring> frmmain::ShowModal(CheckTester tester) {
    Load();
    m_tester = std::move(tester);
    m_result.reset();
    m_failure = nullptr;
    m_ended = false;
    m_showing = true;
    const HWND window = m_loaded->window.get();
    try {
        // The host's windows come back before the dialog goes, so activation returns to them.
        const OtherThreadWindowsDisabled others(window);
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(Control(L"btOK"));
        while (!m_ended) {
            MSG message;
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == -1) {
                ThrowLastError(L"The configuration dialog cannot read its messages");
            }
            if (got == 0) {
                // The host's own loop has to see its quit message too.
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (!IsDialogMessageW(window, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    } catch (...) {
        m_showing = false;
        Unload();
        throw;
    }
    m_showing = false;
    Unload();
    if (m_failure) {
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    }
    return std::exchange(m_result, std::nullopt);
}

void frmmain::EndShowing() noexcept {
    if (!m_showing || m_ended) {
        return;
    }
    m_ended = true;
    // A click sent from another thread is handled inside GetMessage, which
    // would not return on its own.
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void frmmain::Unload() noexcept {
    m_tester = nullptr;
    if (!m_loaded) {
        return;
    }
    DropTest();
    m_loaded->window.reset();
    m_loaded.reset();
}

LRESULT frmmain::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ControlId(L"btOK")) {
            OnOk();
        } else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ControlId(L"btTest")) {
            OnTest();
        }
        return 0;
    case DM_GETDEFID:
        // No default button: Enter presses a button only while it has the focus.
        if (m_loaded) {
            for (const wchar_t* button : {L"btOK", L"btTest"}) {
                if (GetFocus() == Control(button)) return MAKELRESULT(ControlId(button), DC_HASDEFID);
            }
        }
        return 0;
    case kTestAnswered:
        OnTestAnswered();
        return 0;
    case WM_SETCURSOR:
        if (m_loaded && m_loaded->test && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // Title-bar close, the system menu's Close and Alt+F4: closed without OK.
        EndShowing();
        return 0;
    case WM_ACTIVATE:
        if (OnActivate(window, wParam)) return 0;
        break;
    case WM_NCDESTROY:
        OnFinalDestroy(window);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Keeps the focused control across deactivation; true when the focus was given back.
bool frmmain::OnActivate(HWND window, WPARAM wParam) {
    if (!m_loaded) {
        return false;
    }
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) {
            m_loaded->focus = focus;
        }
        return false;
    }
    if (!HIWORD(wParam) && m_loaded->focus) {
        SetFocus(m_loaded->focus);
        return true;
    }
    return false;
}

void frmmain::OnFinalDestroy(HWND window) noexcept {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (m_loaded && m_loaded->window.get() == window) {
        DropTest();
        // Destroyed by someone else: nothing left to destroy later.
        m_loaded->window.release();
        m_loaded->controls = {};
    }
    EndShowing();
}

int frmmain::ControlId(std::wstring_view name) {
    const auto index = FindControl(name);
    return index ? kFirstControlId + static_cast<int>(*index) : -1;
}

LRESULT CALLBACK frmmain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<frmmain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No exception may unwind through the system's message dispatch; the
    // showing ends and ShowModal rethrows it.
    try {
        return self->OnMessage(window, message, wParam, lParam);
    } catch (...) {
        if (!self->m_failure) {
            self->m_failure = std::current_exception();
        }
        self->EndShowing();
        return 0;
    }
}

}  // namespace lineprobe
