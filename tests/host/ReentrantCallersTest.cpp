// Hosts that call back into the component from inside its own calls: one that
// lets its last reference go while the dialog is shown or the check runs, and
// a parameter object whose default value puts a new parameter into the check
// that reads it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "CheckTestSupport.h"
#include "ComTestSupport.h"
#include "DialogDriver.h"
#include "HostSupport.h"

namespace lineprobe::test {
namespace {

HRESULT CanUnloadNow() {
    const auto canUnload = ServerExport<DllCanUnloadNowFunction>("DllCanUnloadNow");
    return canUnload ? canUnload() : E_FAIL;
}

// What the thread timer does while ec_showGUI runs: first it releases the
// host's only reference, on the next tick it closes the dialog.
struct ReleaseDuringDialog {
    _lineprobeCom* object = nullptr;
    bool released = false;
    HRESULT canUnloadWhileShown = E_FAIL;
};
ReleaseDuringDialog* g_release = nullptr;

void CALLBACK ReleaseThenClose(HWND, UINT, UINT_PTR, DWORD) {
    ReleaseDuringDialog& state = *g_release;
    const HWND dialog = Session::FindVisibleDialog();
    if (!dialog) return;
    if (!state.released) {
        state.released = true;
        state.object->Release();
        state.canUnloadWhileShown = CanUnloadNow();
        return;
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

TEST(ReentrantHost, ReleasingTheLastReferenceDuringTheDialog) {
    auto made = NewTestObject();
    ASSERT_TRUE(made);
    ReleaseDuringDialog state;
    state.object = made.Detach();  // from here on the host's only reference
    g_release = &state;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &ReleaseThenClose);
    ASSERT_NE(timer, 0u);
    const HRESULT hr = state.object->ec_showGUI();
    KillTimer(nullptr, timer);
    g_release = nullptr;
    if (!state.released) state.object->Release();

    ASSERT_TRUE(state.released) << "the dialog was never shown, hr " << std::hex << hr;
    EXPECT_EQ(state.canUnloadWhileShown, S_FALSE);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    EXPECT_EQ(CanUnloadNow(), S_OK);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
}

// A parameter object whose value read lets the host's only reference to the
// check go, as a host may from inside any call that calls out.
class ReleasingParameter final : public CountingObject {
public:
    explicit ReleasingParameter(_lineprobeCom* check) : m_check(check) {}

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (id != DISPID_VALUE || !result) return DISP_E_MEMBERNOTFOUND;
        if (m_check) std::exchange(m_check, nullptr)->Release();
        m_canUnloadWhileRead = CanUnloadNow();
        V_BSTR(result) = SysAllocString(L"#LOGFILE=#USER=#PW=#UP=a#DOWN=b#");
        V_VT(result) = VT_BSTR;
        return S_OK;
    }

    bool Released() const noexcept { return !m_check; }
    HRESULT CanUnloadWhileRead() const noexcept { return m_canUnloadWhileRead; }

private:
    _lineprobeCom* m_check;
    HRESULT m_canUnloadWhileRead = E_FAIL;
};

TEST(ReentrantHost, ReleasingTheLastReferenceDuringTheCheck) {
    auto made = NewTestObject();
    ASSERT_TRUE(made);
    _lineprobeCom* check = made.Detach();  // from here on the host's only reference
    ReleasingParameter parameter(check);
    ASSERT_EQ(check->put_ec_parameter(*Object(&parameter).get()), S_OK);
    VARIANT_BOOL up = VARIANT_TRUE;
    const HRESULT hr = check->ec_docheck(&up);
    if (!parameter.Released()) check->Release();

    ASSERT_TRUE(parameter.Released()) << "the value was never read, hr " << std::hex << hr;
    EXPECT_EQ(parameter.CanUnloadWhileRead(), S_FALSE);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    EXPECT_EQ(parameter.Held(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

// A parameter object: its default value is `first`; reading it puts `next`
// into the check object's ec_parameter. With failFirst its first read fails.
class ChangingParameter final : public CountingObject {
public:
    ChangingParameter(_lineprobeCom* check, std::wstring first, std::wstring next, bool failFirst = false)
        : m_check(check), m_first(std::move(first)), m_next(std::move(next)), m_failFirst(failFirst) {}

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (id != DISPID_VALUE || !result) return DISP_E_MEMBERNOTFOUND;
        if (++m_reads == 1 && m_failFirst) return E_FAIL;
        m_check->put_ec_parameter(*Text(m_next).get());
        m_heldAfterPut = Held();
        V_BSTR(result) = SysAllocString(m_first.c_str());
        V_VT(result) = VT_BSTR;
        return S_OK;
    }

    int Reads() const noexcept { return m_reads; }
    ULONG HeldAfterPut() const noexcept { return m_heldAfterPut; }

private:
    _lineprobeCom* m_check;
    std::wstring m_first;
    std::wstring m_next;
    bool m_failFirst;
    int m_reads = 0;
    ULONG m_heldAfterPut = 0;
};

TEST(ReentrantHost, ParameterObjectThatReplacesItselfWhileRead) {
    const TempFolder folder(L"lineprobe-host-reentrant");
    ASSERT_TRUE(WriteBytes(folder / L"a.txt", "alpha\r\nfrom the object\r\n"));
    ASSERT_TRUE(WriteBytes(folder / L"b.txt", "beta\r\nfrom the new value\r\n"));
    // All five fields of the object's text give up; the new value's give
    // "ERR: None found", and LOGFILE from one with the words of the other gives down.
    const std::wstring first = L"#LOGFILE=" + folder / L"a.txt" + L"#USER=#PW=#UP=alpha#DOWN=beta#";
    const std::wstring next = L"#LOGFILE=" + folder / L"b.txt" + L"#USER=#PW=#UP=gamma#DOWN=alpha#";

    const auto check = NewTestObject();
    ASSERT_TRUE(check);
    ChangingParameter parameter(check.Get(), first, next);
    ASSERT_EQ(check->put_ec_parameter(*Object(&parameter).get()), S_OK);
    VARIANT_BOOL up = VARIANT_FALSE;
    ASSERT_EQ(check->ec_docheck(&up), S_OK);
    unique_variant result;
    ASSERT_EQ(check->get_ec_result(result.get()), S_OK);

    EXPECT_EQ(up, VARIANT_TRUE);
    EXPECT_EQ(Describe(*result.get()), L"VT_BSTR:from the object");
    EXPECT_EQ(parameter.Reads(), 1);
    EXPECT_GE(parameter.HeldAfterPut(), 1u) << "the check let go of the object it was reading";
    EXPECT_EQ(parameter.Held(), 0u);
    unique_variant now;
    ASSERT_EQ(check->get_ec_parameter(now.get()), S_OK);
    EXPECT_EQ(Describe(*now.get()), L"VT_BSTR:" + next);
    EXPECT_EQ(CheckOnce(check.Get(), next), L"down: ERR: None found");
}

// Under the host's limit too, a value that cannot be read is the check's
// answer: the object is not asked again, off the limit.
TEST(ReentrantHost, ParameterObjectThatFailsUnderTheLimitIsReadOnce) {
    const TempFolder folder(L"lineprobe-host-failing");
    ASSERT_TRUE(WriteBytes(folder / L"a.txt", "alpha\r\nread anyway\r\n"));
    const std::wstring text = L"#LOGFILE=" + folder / L"a.txt" + L"#USER=#PW=#UP=alpha#DOWN=beta#";
    const auto check = NewTestObject();
    ASSERT_TRUE(check);
    ChangingParameter parameter(check.Get(), text, text, true);
    ASSERT_EQ(check->put_ec_timeout(*Int32(5).get()), S_OK);
    ASSERT_EQ(check->put_ec_parameter(*Object(&parameter).get()), S_OK);
    VARIANT_BOOL up = VARIANT_TRUE;
    ASSERT_EQ(check->ec_docheck(&up), S_OK);
    unique_variant result;
    ASSERT_EQ(check->get_ec_result(result.get()), S_OK);
    EXPECT_EQ(up, VARIANT_FALSE);
    EXPECT_TRUE(Describe(*result.get()).ends_with(L" on line  40")) << Narrow({Describe(*result.get())});
    EXPECT_EQ(parameter.Reads(), 1);
}

}  // namespace
}  // namespace lineprobe::test
