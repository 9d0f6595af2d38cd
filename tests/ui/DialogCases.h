// What the dialog's cases share: the ways of calling it (the entry point linked
// into the test program, or ec_showGUI of the real object in the DLL), test
// values and the design in pixels.
#pragma once

#include <gtest/gtest.h>
#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "Failure.h"
#include "Variant.h"

namespace lineprobe::test {

// One way of showing the dialog for a timeout and a parameter string.
class DialogCaller {
public:
    virtual ~DialogCaller() = default;
    // Sets the check's timeout and parameter string and shows the dialog once.
    // `parameter` null means the parameter is left as the check has it.
    virtual HRESULT Show(const VARIANT& timeout, const VARIANT* parameter) = 0;
    // The check's parameter string as text after the last showing.
    virtual std::wstring Parameter() = 0;
    // The caption the dialog shows for the version of the module it lives in.
    virtual std::wstring ExpectedCaption() = 0;
    // Whether the module carries the dialog's icon.
    virtual bool HasIcon() = 0;
};

inline std::string Hex(HRESULT hr) {
    const std::wstring text = HexCode(static_cast<std::uint32_t>(hr));
    return std::string(text.begin(), text.end());
}

// Small owning VARIANT for test inputs.
class Value {
public:
    Value() = default;
    static Value Text(const std::wstring& text) { return Value(TextVariant(text)); }
    static Value Int(long number) {
        Value v;
        V_VT(v.m_value.get()) = VT_I4;
        V_I4(v.m_value.get()) = number;
        return v;
    }
    static Value Null() {
        Value v;
        V_VT(v.m_value.get()) = VT_NULL;
        return v;
    }
    const VARIANT& get() const { return *m_value.get(); }

private:
    explicit Value(unique_variant value) : m_value(std::move(value)) {}
    unique_variant m_value;
};

// Children in the order the dialog manager walks them (tab order).
enum Child { btOK, txtTimeout, Label4, Label5, Frame1, Label1, txtlogfilename, Frame2, Label3, txtUserName, Label6,
             txtPassword, Label, txtUP, Label2, txtDown, Label7, txtMaxAge, Label8, btTest, kChildCount };

struct ExpectedChild {
    const char* name;
    const wchar_t* className;
    int left, top, width, height;  // pixels at 96 dpi, in the client area
    const wchar_t* text;
    bool visible;
};

// The design in client-area pixels: every twips figure divided by 15.
inline const ExpectedChild kDesign[kChildCount] = {
    {"btOK",           L"Button", 376, 16,  49,  25,  L"&OK",                             true},
    {"txtTimeout",     L"Edit",   112, 248, 73,  19,  nullptr,                            false},
    {"Label4",         L"Static", 16,  252, 81,  17,  L"Timeout:",                        false},
    {"Label5",         L"Static", 192, 252, 81,  17,  L"seconds",                         false},
    {"Frame1",         L"Button", 8,   8,   361, 233, L"",                                true},
    {"Label1",         L"Static", 16,  32,  73,  17,  L"Logiflename:",                    true},
    {"txtlogfilename", L"Edit",   96,  32,  265, 19,  L"",                                true},
    {"Frame2",         L"Button", 32,  64,  329, 97,  L"",                                true},
    {"Label3",         L"Static", 40,  92,  73,  17,  L"User Name:",                      true},
    {"txtUserName",    L"Edit",   128, 88,  225, 19,  L"",                                true},
    {"Label6",         L"Static", 40,  120, 73,  17,  L"Password:",                       true},
    {"txtPassword",    L"Edit",   128, 116, 225, 19,  L"",                                true},
    {"Label",          L"Static", 16,  176, 145, 17,  L"Text to return with UP (OK):",    true},
    {"txtUP",          L"Edit",   168, 176, 177, 19,  L"up",                              true},
    {"Label2",         L"Static", 16,  200, 161, 17,  L"Text to return with DOWN (NOK):", true},
    {"txtDown",        L"Edit",   184, 200, 161, 19,  L"down",                            true},
    {"Label7",         L"Static", 16,  252, 81,  17,  L"Max. age:",                       true},
    {"txtMaxAge",      L"Edit",   112, 248, 73,  19,  L"",                                true},
    {"Label8",         L"Static", 192, 252, 177, 17,  L"minutes (empty: any age)",        true},
    {"btTest",         L"Button", 376, 48,  49,  25,  L"&Test",                           true},
};

// The ways of calling the dialog that this test program knows, by name.
std::vector<std::string> CallerNames();
std::unique_ptr<DialogCaller> MakeCaller(const std::string& name);

}  // namespace lineprobe::test
