// The configuration dialog as a user meets it, shown for real under Wine: a
// helper thread reads the window and drives it through the dialog's own
// message loop while the test thread waits in the showing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include "DialogCases.h"

namespace lineprobe::test {
namespace {

constexpr HRESULT kInvalidProcedureCall = static_cast<HRESULT>(0x800A0005);
constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);

struct Boxes {
    std::wstring logFile, user, password, up, down, timeout;
    bool operator==(const Boxes&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Boxes& b) {
        return out << testing::PrintToString(b.logFile) << " " << testing::PrintToString(b.user) << " "
                   << testing::PrintToString(b.password) << " " << testing::PrintToString(b.up) << " "
                   << testing::PrintToString(b.down) << " timeout " << testing::PrintToString(b.timeout);
    }
};

Boxes ReadBoxes(const DialogDriver& d) {
    return {DialogDriver::Text(d.Child(txtlogfilename)), DialogDriver::Text(d.Child(txtUserName)),
            DialogDriver::Text(d.Child(txtPassword)),    DialogDriver::Text(d.Child(txtUP)),
            DialogDriver::Text(d.Child(txtDown)),        DialogDriver::Text(d.Child(txtTimeout))};
}

class Dialog : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        m_caller = MakeCaller(GetParam());
        ASSERT_TRUE(m_caller) << "no caller " << GetParam();
    }

    struct Shown {
        HRESULT hr = E_FAIL;
        bool seen = false;
        std::wstring parameter;  // the check's parameter string afterwards
    };

    Shown Show(const Value& timeout, const Value* parameter, const Session::Drive& drive) {
        Shown shown;
        Session session;
        shown.seen = session.Run(
            [&] { shown.hr = m_caller->Show(timeout.get(), parameter ? &parameter->get() : nullptr); }, drive);
        shown.parameter = m_caller->Parameter();
        EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr) << "a dialog window lingers after the call";
        return shown;
    }
    Shown Show(const Value& timeout, const Value& parameter, const Session::Drive& drive) {
        return Show(timeout, &parameter, drive);
    }

    std::unique_ptr<DialogCaller> m_caller;
};

// ---- The design: one showing, read in full, then driven by the keyboard ----

TEST_P(Dialog, ShowsTheDesignAndWalksTheTabRing) {
    Snapshot shot, afterResize;
    std::vector<int> tabRing;
    bool aliveAfterEscape = false, aliveAfterEnterInBox = false;
    const auto shown = Show(Value::Int(30), Value(), [&](DialogDriver& d) {
        shot = d.Capture();
        for (int i = 0; i < 6; ++i) tabRing.push_back(d.Tab());
        d.PressKey(VK_ESCAPE);
        d.Tab();  // handled after Escape: the window is still there if Escape did nothing
        aliveAfterEscape = d.Alive();
        d.PressKey(VK_RETURN);  // in txtlogfilename
        d.Tab();
        aliveAfterEnterInBox = d.Alive();
        // Larger than the design: the controls stay where they are.
        RECT frame;
        GetWindowRect(d.Dialog(), &frame);
        SetWindowPos(d.Dialog(), nullptr, 0, 0, frame.right - frame.left + 120, frame.bottom - frame.top + 80,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        afterResize = d.Capture();
        d.Click(btOK);
    });
    ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr);
    ASSERT_TRUE(shown.seen);
    EXPECT_EQ(shown.parameter, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#");

    EXPECT_EQ(shot.caption, m_caller->ExpectedCaption());
    ASSERT_EQ(shot.children.size(), static_cast<std::size_t>(kChildCount));
    ASSERT_EQ(afterResize.children.size(), static_cast<std::size_t>(kChildCount)) << "the dialog closed early";
    for (int i = 0; i < kChildCount; ++i) {
        const ExpectedChild& want = kDesign[i];
        const ChildInfo& got = shot.children[i];
        EXPECT_EQ(got.className, want.className) << want.name;
        if (want.text) {
            EXPECT_EQ(got.text, want.text) << want.name;
        }
        EXPECT_EQ(got.visible, want.visible) << want.name;
        EXPECT_LE(std::abs(got.rect.left - want.left), 1) << want.name << " left " << got.rect.left;
        EXPECT_LE(std::abs(got.rect.top - want.top), 1) << want.name << " top " << got.rect.top;
        EXPECT_LE(std::abs(got.rect.right - got.rect.left - want.width), 1) << want.name << " width";
        EXPECT_LE(std::abs(got.rect.bottom - got.rect.top - want.height), 1) << want.name << " height";
        EXPECT_EQ(afterResize.children[i].rect.left, got.rect.left) << want.name << " moved";
        EXPECT_EQ(afterResize.children[i].rect.top, got.rect.top) << want.name << " moved";
        EXPECT_FALSE(got.style & WS_DISABLED) << want.name;
        const bool takesFocus = i == btOK || got.className == L"Edit";
        EXPECT_EQ((got.style & WS_TABSTOP) != 0, takesFocus) << want.name;
    }
    EXPECT_EQ(shot.children[txtTimeout].text, L"30");

    // Styles the design asks for.
    EXPECT_EQ(shot.children[btOK].style & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(shot.children[Frame1].style & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(shot.children[Frame2].style & BS_TYPEMASK, BS_GROUPBOX);
    for (const Child right : {Label1, Label3, Label6, Label4}) {
        EXPECT_EQ(shot.children[right].style & SS_TYPEMASK, SS_RIGHT) << kDesign[right].name;
    }
    for (const Child left : {Label, Label2, Label5}) {
        EXPECT_EQ(shot.children[left].style & SS_TYPEMASK, SS_LEFTNOWORDWRAP) << kDesign[left].name;
    }
    for (const Child box : {txtTimeout, txtlogfilename, txtUserName, txtPassword, txtUP, txtDown}) {
        EXPECT_FALSE(shot.children[box].style & ES_MULTILINE) << kDesign[box].name;
        EXPECT_TRUE(shot.children[box].style & ES_AUTOHSCROLL) << kDesign[box].name;
        EXPECT_EQ((shot.children[box].style & ES_PASSWORD) != 0, box == txtPassword) << kDesign[box].name;
        EXPECT_EQ(shot.children[box].passwordChar, box == txtPassword ? L'*' : L'\0') << kDesign[box].name;
    }
    EXPECT_TRUE(shot.fontIsDialogFont);

    // The window: resizable with minimise and maximise, topmost, no owner, in the taskbar, centred.
    EXPECT_EQ(shot.style & WS_OVERLAPPEDWINDOW, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(shot.exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(shot.exStyle & WS_EX_APPWINDOW);
    EXPECT_FALSE(shot.exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(shot.owner, nullptr);
    EXPECT_EQ(shot.clientRect.right, 439);
    EXPECT_EQ(shot.clientRect.bottom, 277);
    const int centreX = (shot.windowRect.left + shot.windowRect.right) / 2;
    const int centreY = (shot.windowRect.top + shot.windowRect.bottom) / 2;
    EXPECT_LE(std::abs(centreX - (shot.workArea.left + shot.workArea.right) / 2), 1);
    EXPECT_LE(std::abs(centreY - (shot.workArea.top + shot.workArea.bottom) / 2), 1);
    EXPECT_EQ(shot.bigIcon, m_caller->HasIcon());
    EXPECT_EQ(shot.smallIcon, m_caller->HasIcon());

    // Keyboard: focus on OK first; Tab goes round the visible boxes and back.
    EXPECT_EQ(shot.focus, btOK);
    EXPECT_EQ(tabRing, (std::vector<int>{txtlogfilename, txtUserName, txtPassword, txtUP, txtDown, btOK}));
    EXPECT_TRUE(aliveAfterEscape) << "Escape closed the dialog";
    EXPECT_TRUE(aliveAfterEnterInBox) << "Enter in a text box closed the dialog";
}

TEST_P(Dialog, ShiftTabWalksTheRingBackwards) {
    std::vector<int> ring;
    Show(Value(), Value(), [&](DialogDriver& d) {
        // The dialog manager's own order, read backwards from OK.
        HWND at = d.Child(btOK);
        for (int i = 0; i < 6; ++i) {
            at = GetNextDlgTabItem(d.Dialog(), at, TRUE);
            const auto children = d.Children();
            ring.push_back(static_cast<int>(std::find(children.begin(), children.end(), at) - children.begin()));
        }
        d.Post(WM_CLOSE);
    });
    EXPECT_EQ(ring, (std::vector<int>{txtDown, txtUP, txtPassword, txtUserName, txtlogfilename, btOK}));
}

// ---- Filling the boxes from the check's values; OK without change rebuilds the string ----

struct FillCase {
    const char* name;
    std::function<Value()> timeout;
    std::function<Value()> parameter;
    Boxes shown;
    const wchar_t* afterOk;
};

const FillCase kFillCases[] = {
    {"EmptyParameterShowsTheDesignTexts", [] { return Value::Int(30); }, [] { return Value(); },
     {L"", L"", L"", L"up", L"down", L"30"}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"EmptyTextToo", [] { return Value::Text(L"  30  "); }, [] { return Value::Text(L""); },
     {L"", L"", L"", L"up", L"down", L"30"}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"NullParameterHasNoLength", [] { return Value(); }, [] { return Value::Null(); },
     {L"", L"", L"", L"up", L"down", L""}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"SpacesOnlyEmptyEveryBox", [] { return Value::Int(5); }, [] { return Value::Text(L"   "); },
     {L"", L"", L"", L"", L"", L"5"}, L"#LOGFILE=#USER=#PW=#UP=#DOWN=#"},
    {"MissingDownEmptiesItsBox", [] { return Value::Int(30); },
     [] { return Value::Text(L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#"); },
     {L"C:\\logs\\state.txt", L"", L"", L"OK", L"", L"30"}, L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#DOWN=#"},
    {"ValuesShownAsStoredAndStoredTrimmed", [] { return Value::Text(L"\t30 "); },
     [] { return Value::Text(L"#up=  OK #LOGFILE= \\\\srv\\share\\a.txt#USER=bob #PW=c2VjcmV0#DOWN=FAIL#"); },
     {L" \\\\srv\\share\\a.txt", L"bob ", L"secret", L"  OK ", L"FAIL", L"\t30"},
     L"#LOGFILE=\\\\srv\\share\\a.txt#USER=bob#PW=c2VjcmV0#UP=OK#DOWN=FAIL#"},
    {"PasswordDecodedAndEncodedAnew", [] { return Value::Int(30); },
     [] { return Value::Text(L"#LOGFILE=x#USER=u#PW=IHB3IA#UP=a#DOWN=b#"); },
     {L"x", L"u", L" pw ", L"a", L"b", L"30"}, L"#LOGFILE=x#USER=u#PW=cHc=#UP=a#DOWN=b#"},
    {"NumberAsParameterIsItsText", [] { return Value::Int(30); }, [] { return Value::Int(7); },
     {L"", L"", L"", L"", L"", L"30"}, L"#LOGFILE=#USER=#PW=#UP=#DOWN=#"},
};

TEST_P(Dialog, FillsTheBoxesAndOkRebuildsTheString) {
    for (const FillCase& c : kFillCases) {
        Boxes boxes;
        const Value timeout = c.timeout();
        const Value parameter = c.parameter();
        const auto shown = Show(timeout, parameter, [&](DialogDriver& d) {
            boxes = ReadBoxes(d);
            d.Click(btOK);
        });
        ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr) << c.name;
        EXPECT_EQ(boxes, c.shown) << c.name;
        EXPECT_EQ(shown.parameter, c.afterOk) << c.name;
    }
}

// ---- Every way of pressing OK, every way of closing without it ----

struct EndCase {
    const char* name;
    std::function<void(DialogDriver&)> end;
    bool ok;
};

const EndCase kEndCases[] = {
    {"Click", [](DialogDriver& d) { d.Click(btOK); }, true},
    {"AltO", [](DialogDriver& d) { d.PressAlt(L'o'); }, true},
    {"EnterOnOk", [](DialogDriver& d) { d.PressKey(VK_RETURN); }, true},
    {"SpaceOnOk", [](DialogDriver& d) { d.PressKey(VK_SPACE); }, true},
    {"TitleBarClose", [](DialogDriver& d) { d.Post(WM_SYSCOMMAND, SC_CLOSE); }, false},
    {"AltF4", [](DialogDriver& d) { PostMessageW(d.FocusWindow(), WM_SYSKEYDOWN, VK_F4, 0x20000001); }, false},
    {"Close", [](DialogDriver& d) { d.Post(WM_CLOSE); }, false},
};

TEST_P(Dialog, OkStoresAndEveryOtherCloseKeepsTheParameter) {
    const std::wstring old = L"#LOGFILE=C:\\a.txt#USER=#PW=#UP= yes #DOWN=no#";
    for (const EndCase& c : kEndCases) {
        const auto shown = Show(Value::Int(30), Value::Text(old), [&](DialogDriver& d) {
            d.Type(txtDown, L"typed");
            c.end(d);
        });
        ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr) << c.name;
        EXPECT_EQ(shown.parameter, c.ok ? L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=yes#DOWN=typed#" : old) << c.name;
    }
}

TEST_P(Dialog, TypedTextIsTrimmedAndStoredAsItIs) {
    const auto shown = Show(Value::Int(30), Value(), [&](DialogDriver& d) {
        d.Type(txtlogfilename, L"  C:\\run #1=a.txt  ");
        d.Type(txtUserName, L" DOMAIN\\user ");
        d.Type(txtPassword, L"  p w  ");
        d.Type(txtUP, L"all good\t");
        d.Type(txtDown, L"   ");
        d.Type(txtTimeout, L"99");
        d.Click(btOK);
    });
    ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr);
    EXPECT_EQ(shown.parameter, L"#LOGFILE=C:\\run #1=a.txt#USER=DOMAIN\\user#PW=cCB3#UP=all good\t#DOWN=#");
}

// ---- Each call starts fresh ----

TEST_P(Dialog, SecondCallStartsFromAFreshDialog) {
    HWND first = nullptr;
    Boxes second;
    std::wstring secondCaption;
    Show(Value::Int(30), Value(), [&](DialogDriver& d) {
        first = d.Dialog();
        d.Type(txtUP, L"typed in the first showing");
        SetWindowTextW(d.Dialog(), L"changed");
        d.Post(WM_CLOSE);
    });
    const auto shown = Show(Value::Int(31), nullptr, [&](DialogDriver& d) {
        second = ReadBoxes(d);
        secondCaption = DialogDriver::Text(d.Dialog());
        d.Click(btOK);
    });
    ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(second, (Boxes{L"", L"", L"", L"up", L"down", L"31"}));
    EXPECT_EQ(secondCaption, m_caller->ExpectedCaption());
    EXPECT_EQ(shown.parameter, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#");
}

// ---- Failures: an HRESULT, no window, the parameter untouched ----

struct FailureCase {
    const char* name;
    std::function<Value()> timeout;
    const wchar_t* parameter;
    HRESULT hr;
};

const FailureCase kFailureCases[] = {
    {"UndecodablePassword", [] { return Value::Int(30); }, L"#LOGFILE=C:\\a.txt#USER=bob#PW==abc#UP=u#DOWN=d#",
     kInvalidProcedureCall},
    {"NullTimeout", [] { return Value::Null(); }, L"#LOGFILE=C:\\a.txt#UP=u#DOWN=d#", kInvalidUseOfNull},
};

TEST_P(Dialog, FailuresShowNothingAndKeepTheParameter) {
    for (const FailureCase& c : kFailureCases) {
        const Value timeout = c.timeout();
        const auto shown = Show(timeout, Value::Text(c.parameter), [](DialogDriver& d) { d.Post(WM_CLOSE); });
        EXPECT_EQ(shown.hr, c.hr) << Hex(shown.hr) << c.name;
        EXPECT_FALSE(shown.seen) << c.name << ": a dialog was shown";
        EXPECT_EQ(shown.parameter, c.parameter) << c.name;
    }
    // The same caller still works afterwards.
    const auto shown = Show(Value::Int(1), Value(), [](DialogDriver& d) { d.Click(btOK); });
    EXPECT_EQ(shown.hr, S_OK) << Hex(shown.hr);
    EXPECT_EQ(shown.parameter, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#");
}

std::string CallerName(const testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Through, Dialog, testing::ValuesIn(CallerNames()), CallerName);

}  // namespace

}  // namespace lineprobe::test
