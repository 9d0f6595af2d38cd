// The configuration dialog as a user meets it, shown for real under Wine: a
// helper thread reads the window and drives it through the dialog's own
// message loop while the test thread waits in the showing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "DialogCases.h"
#include "Module.h"
#include "ParameterString.h"
#include "Result.h"
#include "Share.h"
#include "ShowGui.h"
#include "frmmain.h"

namespace lineprobe::test {
namespace {

constexpr HRESULT kInvalidProcedureCall = static_cast<HRESULT>(0x800A0005);
constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);

struct Boxes {
    std::wstring logFile, user, password, up, down, timeout, maxAge;
    bool operator==(const Boxes&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Boxes& b) {
        return out << testing::PrintToString(b.logFile) << " " << testing::PrintToString(b.user) << " "
                   << testing::PrintToString(b.password) << " " << testing::PrintToString(b.up) << " "
                   << testing::PrintToString(b.down) << " timeout " << testing::PrintToString(b.timeout)
                   << " max. age " << testing::PrintToString(b.maxAge);
    }
};

Boxes ReadBoxes(const DialogDriver& d) {
    return {DialogDriver::Text(d.Child(txtlogfilename)), DialogDriver::Text(d.Child(txtUserName)),
            DialogDriver::Text(d.Child(txtPassword)),    DialogDriver::Text(d.Child(txtUP)),
            DialogDriver::Text(d.Child(txtDown)),        DialogDriver::Text(d.Child(txtTimeout)),
            DialogDriver::Text(d.Child(txtMaxAge))};
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
        for (int i = 0; i < 8; ++i) tabRing.push_back(d.Tab());
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
        const bool takesFocus = i == btOK || i == btTest || got.className == L"Edit";
        EXPECT_EQ((got.style & WS_TABSTOP) != 0, takesFocus) << want.name;
    }
    EXPECT_EQ(shot.children[txtTimeout].text, L"30");

    // Styles the design asks for.
    EXPECT_EQ(shot.children[btOK].style & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(shot.children[btTest].style & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(shot.children[Frame1].style & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(shot.children[Frame2].style & BS_TYPEMASK, BS_GROUPBOX);
    for (const Child right : {Label1, Label3, Label6, Label4, Label7}) {
        EXPECT_EQ(shot.children[right].style & SS_TYPEMASK, SS_RIGHT) << kDesign[right].name;
    }
    for (const Child left : {Label, Label2, Label5, Label8}) {
        EXPECT_EQ(shot.children[left].style & SS_TYPEMASK, SS_LEFTNOWORDWRAP) << kDesign[left].name;
    }
    for (const Child box : {txtTimeout, txtlogfilename, txtUserName, txtPassword, txtUP, txtDown, txtMaxAge}) {
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
    EXPECT_EQ(tabRing, (std::vector<int>{txtlogfilename, txtUserName, txtPassword, txtUP, txtDown, txtMaxAge, btTest,
                                         btOK}));
    EXPECT_TRUE(aliveAfterEscape) << "Escape closed the dialog";
    EXPECT_TRUE(aliveAfterEnterInBox) << "Enter in a text box closed the dialog";
}

TEST_P(Dialog, ShiftTabWalksTheRingBackwards) {
    std::vector<int> ring;
    Show(Value(), Value(), [&](DialogDriver& d) {
        // The dialog manager's own order, read backwards from OK.
        HWND at = d.Child(btOK);
        for (int i = 0; i < 8; ++i) {
            at = GetNextDlgTabItem(d.Dialog(), at, TRUE);
            const auto children = d.Children();
            ring.push_back(static_cast<int>(std::find(children.begin(), children.end(), at) - children.begin()));
        }
        d.Post(WM_CLOSE);
    });
    EXPECT_EQ(ring, (std::vector<int>{btTest, txtMaxAge, txtDown, txtUP, txtPassword, txtUserName, txtlogfilename,
                                      btOK}));
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
     {L"", L"", L"", L"up", L"down", L"30", L""}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"EmptyTextToo", [] { return Value::Text(L"  30  "); }, [] { return Value::Text(L""); },
     {L"", L"", L"", L"up", L"down", L"30", L""}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"NullParameterHasNoLength", [] { return Value(); }, [] { return Value::Null(); },
     {L"", L"", L"", L"up", L"down", L"", L""}, L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#"},
    {"SpacesOnlyEmptyEveryBox", [] { return Value::Int(5); }, [] { return Value::Text(L"   "); },
     {L"", L"", L"", L"", L"", L"5", L""}, L"#LOGFILE=#USER=#PW=#UP=#DOWN=#"},
    {"MissingDownEmptiesItsBox", [] { return Value::Int(30); },
     [] { return Value::Text(L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#"); },
     {L"C:\\logs\\state.txt", L"", L"", L"OK", L"", L"30", L""}, L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#DOWN=#"},
    {"ValuesShownAsStoredAndStoredTrimmed", [] { return Value::Text(L"\t30 "); },
     [] { return Value::Text(L"#up=  OK #LOGFILE= \\\\srv\\share\\a.txt#USER=bob #PW=c2VjcmV0#DOWN=FAIL#"); },
     {L" \\\\srv\\share\\a.txt", L"bob ", L"secret", L"  OK ", L"FAIL", L"\t30", L""},
     L"#LOGFILE=\\\\srv\\share\\a.txt#USER=bob#PW=c2VjcmV0#UP=OK#DOWN=FAIL#"},
    {"PasswordDecodedAndEncodedAnew", [] { return Value::Int(30); },
     [] { return Value::Text(L"#LOGFILE=x#USER=u#PW=IHB3IA#UP=a#DOWN=b#"); },
     {L"x", L"u", L" pw ", L"a", L"b", L"30", L""}, L"#LOGFILE=x#USER=u#PW=cHc=#UP=a#DOWN=b#"},
    {"NumberAsParameterIsItsText", [] { return Value::Int(30); }, [] { return Value::Int(7); },
     {L"", L"", L"", L"", L"", L"30", L""}, L"#LOGFILE=#USER=#PW=#UP=#DOWN=#"},
    {"MaxAgeShownAsStoredAndStoredTrimmed", [] { return Value::Int(30); },
     [] { return Value::Text(L"#LOGFILE=x#USER=#PW=#UP=a#DOWN=b#maxage= 90 #"); },
     {L"x", L"", L"", L"a", L"b", L"30", L" 90 "}, L"#LOGFILE=x#USER=#PW=#UP=a#DOWN=b#MAXAGE=90#"},
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

// ---- The max. age: OK stores a whole number of minutes, refuses anything else ----

struct AgeCase {
    const char* name;
    const wchar_t* typed;
    const wchar_t* stored;  // null: refused with the rule, the dialog stays open
};

const AgeCase kAgeCases[] = {
    {"EmptyIsAnyAge", L"", L"#LOGFILE=x#USER=#PW=#UP=a#DOWN=b#"},
    {"Trimmed", L" 90 ", L"#LOGFILE=x#USER=#PW=#UP=a#DOWN=b#MAXAGE=90#"},
    {"AYear", L"525600", L"#LOGFILE=x#USER=#PW=#UP=a#DOWN=b#MAXAGE=525600#"},
    {"Zero", L"0", nullptr},
    {"OverAYear", L"525601", nullptr},
    {"Words", L"ten", nullptr},
};

TEST_P(Dialog, OkStoresAWholeMaxAgeAndRefusesAnyOther) {
    const std::wstring old = L"#LOGFILE=x#UP=a#DOWN=b#MAXAGE=30#";
    for (const AgeCase& c : kAgeCases) {
        std::optional<std::wstring> message;
        bool openAfterRefusal = false;
        const auto shown = Show(Value::Int(30), Value::Text(old), [&](DialogDriver& d) {
            d.Type(txtMaxAge, c.typed);
            d.Click(btOK);
            if (c.stored) return;
            message = d.AnswerMessageBox();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(d.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kPatience, &ignored);
            openAfterRefusal = d.Alive();
            d.Post(WM_CLOSE);
        });
        ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr) << c.name;
        if (c.stored) {
            EXPECT_EQ(shown.parameter, c.stored) << c.name;
            continue;
        }
        EXPECT_EQ(message, std::wstring(kMaxAgeRule)) << c.name;
        EXPECT_TRUE(openAfterRefusal) << c.name;
        EXPECT_EQ(shown.parameter, old) << c.name;
    }
}

// ---- Test: one check with what the boxes hold, its answer in a message box ----

// A status file in the temporary folder, removed at the end of the case.
class StatusFile {
public:
    explicit StatusFile(const char* content) {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + L"lineprobe-ui-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        const unique_hfile file(
            CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        EXPECT_TRUE(file && WriteFile(file.get(), content, static_cast<DWORD>(strlen(content)), &written, nullptr));
    }
    ~StatusFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

struct TestButtonCase {
    const char* name;
    bool fileExists;
    const wchar_t* up;
    const wchar_t* maxAge;
    std::function<void(DialogDriver&)> press;
    const wchar_t* answer;  // the message box's text, or how it begins for an error
};

const TestButtonCase kTestButtonCases[] = {
    {"UpByClick", true, L"ALIVE", L"", [](DialogDriver& d) { d.Click(btTest); }, L"Up\nall fine"},
    {"DownByAltT", true, L"missing", L"", [](DialogDriver& d) { d.PressAlt(L't'); }, L"Down\nall fine"},
    {"ErrorForAMissingFile", false, L"ALIVE", L"", [](DialogDriver& d) { d.Click(btTest); }, L"Down\nERR: "},
    {"InvalidAgeRunsNothing", true, L"ALIVE", L"0", [](DialogDriver& d) { d.Click(btTest); }, kMaxAgeRule.data()},
};

TEST_P(Dialog, TestShowsTheAnswerAndStoresNothing) {
    const StatusFile file("state: ALIVE DEAD\r\nall fine\r\n");
    for (const TestButtonCase& c : kTestButtonCases) {
        const std::wstring logFile = c.fileExists ? file.Path() : file.Path() + L".missing";
        const std::wstring old = L"#LOGFILE=" + logFile + L"#UP=" + c.up + L"#DOWN=DEAD#";
        std::optional<std::wstring> answer;
        bool enabledAfter = false;
        const auto shown = Show(Value::Int(30), Value::Text(old), [&](DialogDriver& d) {
            d.Type(txtPassword, L"s3cret");
            d.Type(txtMaxAge, c.maxAge);
            c.press(d);
            answer = d.AnswerMessageBox();
            enabledAfter = IsWindowEnabled(d.Child(btTest)) != FALSE;
            d.Post(WM_CLOSE);
        });
        ASSERT_EQ(shown.hr, S_OK) << Hex(shown.hr) << c.name;
        ASSERT_TRUE(answer) << c.name << ": no answer";
        EXPECT_EQ(answer->substr(0, std::wstring(c.answer).size()), c.answer) << c.name;
        if (std::wstring(c.answer).ends_with(L": ")) {
            EXPECT_GT(answer->size(), std::wstring(c.answer).size()) << c.name;
        } else {
            EXPECT_EQ(*answer, c.answer) << c.name;
        }
        EXPECT_EQ(answer->find(L"s3cret"), std::wstring::npos) << c.name;
        EXPECT_EQ(answer->find(L"czNjcmV0"), std::wstring::npos) << c.name;
        EXPECT_TRUE(enabledAfter) << c.name;
        EXPECT_EQ(shown.parameter, old) << c.name;
    }
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
    EXPECT_EQ(second, (Boxes{L"", L"", L"", L"up", L"down", L"31", L""}));
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

// ---- A slow logon during Test: the window goes on, a close drops the answer ----

// Stands in for a server that takes its time to answer a logon: it waits until
// the case lets it go, or at most half a minute.
struct SlowLogon {
    static inline HANDLE s_entered = nullptr;
    static inline HANDLE s_release = nullptr;
    static DWORD WINAPI Add(LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD) {
        SetEvent(s_entered);
        WaitForSingleObject(s_release, 30000);
        return ERROR_LOGON_FAILURE;
    }
    static DWORD WINAPI Cancel(LPCSTR, DWORD, BOOL) { return NO_ERROR; }
};

TEST(DialogTestButton, SlowLogonKeepsTheWindowGoingAndACloseDropsTheAnswer) {
    const unique_handle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const unique_handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(entered && release);
    SlowLogon::s_entered = entered.get();
    SlowLogon::s_release = release.get();
    const ShareApi slow{&SlowLogon::Add, &SlowLogon::Cancel, &FormatMessageA};
    // A worker of an earlier case may still be on its last lines.
    ASSERT_TRUE(DialogDriver::WaitFor([] { return !module::InUse(); }));

    frmmain dialog;
    const Value timeout = Value::Int(30);
    const Value parameter = Value::Text(L"#LOGFILE=\\\\srv\\share\\a.txt#USER=svc#PW=cHc=#UP=up#DOWN=down#");
    HRESULT hr = E_FAIL;
    std::optional<std::wstring> edited = L"(not shown)";
    bool logonStarted = false, testDisabled = false, responding = false, heldWhileTesting = false;
    Session session;
    session.Run(
        [&] {
            hr = Guarded(IID_NULL, [&] {
                edited = ShowGui(dialog, timeout.get(), parameter.get(), slow);
                return S_OK;
            });
        },
        [&](DialogDriver& d) {
            d.Click(btTest);
            logonStarted = WaitForSingleObject(entered.get(), kPatience) == WAIT_OBJECT_0;
            testDisabled = DialogDriver::WaitFor([&] { return !IsWindowEnabled(d.Child(btTest)); });
            DWORD_PTR ignored = 0;
            // Well below the logon's half minute, so a window that waits for the logon is caught.
            responding = SendMessageTimeoutW(d.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 20000, &ignored) != 0;
            heldWhileTesting = module::InUse();
            d.Post(WM_CLOSE);
        });
    // The worker is still inside the logon: it keeps the module, nothing else waits for it.
    const bool heldAfterClose = module::InUse();
    SetEvent(release.get());
    const bool workerEnded = DialogDriver::WaitFor([] { return !module::InUse(); });

    ASSERT_EQ(hr, S_OK) << Hex(hr);
    EXPECT_TRUE(logonStarted);
    EXPECT_TRUE(testDisabled);
    EXPECT_TRUE(responding) << "the window stopped answering while the logon ran";
    EXPECT_TRUE(heldWhileTesting);
    EXPECT_TRUE(heldAfterClose);
    EXPECT_TRUE(workerEnded);
    EXPECT_EQ(edited, std::nullopt);
    // The late answer goes nowhere: no window, no message box, nothing left in the queue for one.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
    EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Through, Dialog, testing::ValuesIn(CallerNames()), CallerName);

}  // namespace

}  // namespace lineprobe::test
