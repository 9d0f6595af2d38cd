// The configuration dialog. An instance has no window until it is first used;
// every load creates a fresh window and controls, and closing discards them.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lineprobe {

// What the Test button shows: the verdict and the result text of one check.
struct TestAnswer {
    bool up = false;
    std::wstring text;
};

// Runs one check for a parameter string. It runs on a thread of the thread pool,
// so it may take its time, and must need neither COM nor the dialog's thread.
using CheckTester = std::function<TestAnswer(std::wstring_view parameter)>;

class frmmain {
public:
    frmmain() noexcept;
    ~frmmain();
    frmmain(const frmmain&) = delete;
    frmmain& operator=(const frmmain&) = delete;

    bool IsShowing() const noexcept { return m_showing; }

    // Creates the hidden window and its controls with their initial texts and
    // runs the load step, unless the dialog is loaded already.
    // Throws ComError when the window system fails, std::bad_alloc.
    void Load();

    // A control's text by its name; the first access loads the dialog.
    void SetText(std::wstring_view control, std::wstring_view text);
    std::wstring Text(std::wstring_view control);

    // The window of the dialog; loads it first.
    HWND Hwnd();

    // Shows the dialog modally without an owner and returns when it has closed.
    // The result is the parameter string built by OK, or nothing when the
    // dialog was closed any other way. The dialog is unloaded afterwards.
    // The Test button runs `tester` (none: Test does nothing); a test still
    // running at the close finishes on its own and its answer is dropped.
    std::optional<std::wstring> ShowModal(CheckTester tester = {});

    // Destroys the window and its controls, if any; the instance stays usable.
    void Unload() noexcept;

private:
    struct Loaded;

    void CreateFrame(HMODULE module, int dpiX, int dpiY);
    void CreateControls(HMODULE module, int dpiX, int dpiY);
    void RunLoadStep();
    void OnOk();
    void OnTest();
    void OnTestAnswered();
    void ShowTesting(bool testing);
    void DropTest() noexcept;
    std::optional<std::wstring> ParameterFromBoxes();
    HWND Control(std::wstring_view name) const;
    static int ControlId(std::wstring_view name);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnActivate(HWND window, WPARAM wParam);
    void OnFinalDestroy(HWND window) noexcept;
    void EndShowing() noexcept;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::unique_ptr<Loaded> m_loaded;
    bool m_showing = false;
    bool m_ended = false;
    // The dialog result buffer: written by OK, read once the showing has ended.
    // It lives with the showing on the caller's thread, so no other check and no
    // other thread ever sees or overwrites it.
    std::optional<std::wstring> m_result;
    std::exception_ptr m_failure;  // from inside the window procedure, rethrown by ShowModal
    CheckTester m_tester;          // for the current showing
};

}  // namespace lineprobe
