// ec_showGUI on real check objects from comlineprobe.dll: what only the object
// shows: its values kept exactly, error information, late binding, and no
// configuration passing from one check to another.
#include <gtest/gtest.h>

#include "DialogCases.h"
#include "TestObject.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr HRESULT kInvalidProcedureCall = static_cast<HRESULT>(0x800A0005);

std::wstring Get(_lineprobeCom* object, HRESULT (STDMETHODCALLTYPE _lineprobeCom::*getter)(VARIANT*)) {
    unique_variant value;
    const HRESULT hr = (object->*getter)(value.get());
    return SUCCEEDED(hr) ? Describe(*value.get()) : L"failed " + std::to_wstring(hr);
}

// Shows the object's dialog on this thread while `drive` runs on a helper.
HRESULT ShowDialog(_lineprobeCom* object, const Session::Drive& drive, bool* seen = nullptr) {
    HRESULT hr = E_FAIL;
    Session session;
    const bool shown = session.Run([&] { hr = object->ec_showGUI(); }, drive);
    if (seen) *seen = shown;
    return hr;
}

TEST(ObjectDialog, AnObjectThatNeverShowsItCreatesNoWindow) {
    {
        const auto object = NewTestObject();
        ASSERT_TRUE(object);
        ASSERT_EQ(object->put_ec_parameter(*Text(L"#LOGFILE=a#").get()), S_OK);
        EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    EXPECT_FALSE(GetClassInfoExW(ServerModule(), kDialogClass, &windowClass)) << "the window class was registered";
}

struct KeptCase {
    const char* name;
    std::function<unique_variant()> parameter;
    const wchar_t* described;
};

TEST(ObjectDialog, ClosingKeepsTheValuesExactly) {
    const KeptCase cases[] = {
        {"Text", [] { return Text(L"#UP= a #"); }, L"VT_BSTR:#UP= a #"},
        {"Number", [] { return Int32(7); }, L"VT_I4:7"},
        {"Empty", [] { return unique_variant(); }, L"VT_EMPTY"},
        {"WithMaxAge", [] { return Text(L"#UP=a#MAXAGE= 5 #"); }, L"VT_BSTR:#UP=a#MAXAGE= 5 #"},
    };
    for (const auto& c : cases) {
        const auto object = NewTestObject();
        ASSERT_TRUE(object) << c.name;
        ASSERT_EQ(object->put_ec_timeout(*Int32(30).get()), S_OK) << c.name;
        ASSERT_EQ(object->put_ec_parameter(*c.parameter().get()), S_OK) << c.name;
        const HRESULT hr = ShowDialog(object.Get(), [](DialogDriver& d) {
            d.Type(txtTimeout, L"99");
            d.Type(txtUP, L"changed");
            d.Post(WM_SYSCOMMAND, SC_CLOSE);
        });
        EXPECT_EQ(hr, S_OK) << Hex(hr) << c.name;
        EXPECT_EQ(Get(object.Get(), &_lineprobeCom::get_ec_parameter), c.described) << c.name;
        EXPECT_EQ(Get(object.Get(), &_lineprobeCom::get_ec_timeout), L"VT_I4:30") << c.name;
    }
}

TEST(ObjectDialog, OkNeverReachesAnotherCheck) {
    const auto first = NewTestObject();
    const auto second = NewTestObject();
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->put_ec_parameter(*Text(L"#UP=first#").get()), S_OK);
    ASSERT_EQ(second->put_ec_parameter(*Text(L"#UP=second#").get()), S_OK);
    EXPECT_EQ(ShowDialog(first.Get(), [](DialogDriver& d) { d.Click(btOK); }), S_OK);
    EXPECT_EQ(ShowDialog(second.Get(), [](DialogDriver& d) { d.Post(WM_CLOSE); }), S_OK);
    EXPECT_EQ(Get(first.Get(), &_lineprobeCom::get_ec_parameter), L"VT_BSTR:#LOGFILE=#USER=#PW=#UP=first#DOWN=#");
    EXPECT_EQ(Get(second.Get(), &_lineprobeCom::get_ec_parameter), L"VT_BSTR:#UP=second#");
}

// Test runs the check beside the object: neither its parameter nor its result changes.
TEST(ObjectDialog, TestTouchesNoProperty) {
    const auto object = NewTestObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(object->put_ec_parameter(*Text(L"#LOGFILE=C:\\no\\such\\file.txt#UP=a#DOWN=b#").get()), S_OK);
    std::optional<std::wstring> answer;
    const HRESULT hr = ShowDialog(object.Get(), [&](DialogDriver& d) {
        d.Type(txtMaxAge, L"15");
        d.Click(btTest);
        answer = d.AnswerMessageBox();
        d.Post(WM_CLOSE);
    });
    EXPECT_EQ(hr, S_OK) << Hex(hr);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->rfind(L"Down\nERR: ", 0), 0u) << testing::PrintToString(*answer);
    EXPECT_EQ(Get(object.Get(), &_lineprobeCom::get_ec_parameter),
              L"VT_BSTR:#LOGFILE=C:\\no\\such\\file.txt#UP=a#DOWN=b#");
    EXPECT_EQ(Get(object.Get(), &_lineprobeCom::get_ec_result), L"VT_EMPTY");
}

TEST(ObjectDialog, LateBoundCallStoresTheNewParameter) {
    const auto object = NewTestObject();
    ASSERT_TRUE(object);
    const DISPID show = DispatchId(object.Get(), L"ec_showGUI");
    const DISPID parameter = DispatchId(object.Get(), L"ec_parameter");
    ASSERT_EQ(DispatchPut(object.Get(), parameter, *Text(L"#LOGFILE=C:\\s.txt#UP=OK#DOWN=FAIL#").get()), S_OK);
    HRESULT hr = E_FAIL;
    Session session;
    session.Run(
        [&] {
            unique_variant ignored;
            hr = DispatchGet(object.Get(), show, ignored, DISPATCH_METHOD);
        },
        [](DialogDriver& d) {
            d.Type(txtUserName, L" admin ");
            d.PressAlt(L'o');
        });
    ASSERT_EQ(hr, S_OK) << Hex(hr);
    unique_variant value;
    ASSERT_EQ(DispatchGet(object.Get(), parameter, value), S_OK);
    EXPECT_EQ(Describe(*value.get()), L"VT_BSTR:#LOGFILE=C:\\s.txt#USER=admin#PW=#UP=OK#DOWN=FAIL#");
}

TEST(ObjectDialog, FailureComesWithErrorInformation) {
    const auto object = NewTestObject();
    ASSERT_TRUE(object);
    ASSERT_EQ(object->put_ec_timeout(*Int32(30).get()), S_OK);
    ASSERT_EQ(object->put_ec_parameter(*Text(L"#PW==abc#").get()), S_OK);

    bool seen = true;
    EXPECT_EQ(ShowDialog(object.Get(), [](DialogDriver& d) { d.Post(WM_CLOSE); }, &seen), kInvalidProcedureCall);
    EXPECT_FALSE(seen);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.GetAddressOf()), S_OK);
    unique_bstr description;
    ASSERT_EQ(info->GetDescription(description.put()), S_OK);
    EXPECT_FALSE(description.view().empty());

    // Through IDispatch the same failure arrives as an exception with its code.
    EXCEPINFO exception{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(DispatchId(object.Get(), L"ec_showGUI"), IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_METHOD, &none, nullptr, &exception, &argumentError);
    EXPECT_EQ(hr, DISP_E_EXCEPTION) << Hex(hr);
    EXPECT_EQ(exception.scode, kInvalidProcedureCall) << Hex(exception.scode);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    EXPECT_EQ(Get(object.Get(), &_lineprobeCom::get_ec_parameter), L"VT_BSTR:#PW==abc#");
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
}

}  // namespace
}  // namespace lineprobe::test
