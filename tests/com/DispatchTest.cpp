// Late binding: names, DISPIDs and the property cases through IDispatch, as script hosts call.
#include "ComTestSupport.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HR(S_OK, CreateTestObject(m_object));
        ASSERT_HR(S_OK, m_object.As(&m_dispatch));
    }

    std::wstring Get(DISPID id) {
        unique_variant value;
        const HRESULT hr = DispatchGet(m_dispatch.Get(), id, value);
        return SUCCEEDED(hr) ? Describe(*value.get()) : L"get failed";
    }

    ComPtr<_lineprobeCom> m_object;
    ComPtr<IDispatch> m_dispatch;
};

constexpr DISPID kDocheck = 0x60030004;
constexpr DISPID kShowGui = 0x60030005;
constexpr DISPID kResult = 0x68030003;
constexpr DISPID kParameter = 0x68030002;
constexpr DISPID kTimeout = 0x68030001;
constexpr DISPID kHostname = 0x68030000;
constexpr DISPID kProperties[] = {kResult, kParameter, kTimeout, kHostname};

TEST_F(DispatchTest, NamesMapToTheirDispids) {
    const struct {
        const wchar_t* name;
        DISPID id;
    } cases[] = {
        {L"ec_docheck", kDocheck},     {L"ec_showGUI", kShowGui},     {L"ec_result", kResult},
        {L"ec_parameter", kParameter}, {L"ec_timeout", kTimeout},     {L"ec_hostname", kHostname},
        {L"EC_TIMEOUT", kTimeout},     {L"Ec_ShowGui", kShowGui},     {L"ec_missing", DISPID_UNKNOWN},
        {L"", DISPID_UNKNOWN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DispatchId(m_dispatch.Get(), c.name), c.id) << testing::PrintToString(std::wstring(c.name));
    }
}

TEST_F(DispatchTest, UnknownNameIsReportedAsSuch) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ec_missing")};
    DISPID id = 0;
    EXPECT_HR(DISP_E_UNKNOWNNAME, m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(DispatchTest, OnlyIidNullIsAccepted) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ec_result")};
    DISPID id = 0;
    EXPECT_HR(DISP_E_UNKNOWNINTERFACE, m_dispatch->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, &id));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    unique_variant result;
    EXPECT_HR(DISP_E_UNKNOWNINTERFACE, m_dispatch->Invoke(kResult, IID_IDispatch, LOCALE_USER_DEFAULT,
                                                          DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr));
}

TEST_F(DispatchTest, TypeInfoIsTheInterfaces) {
    UINT count = 0;
    ASSERT_HR(S_OK, m_dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_HR(S_OK, m_dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    TYPEATTR* attributes = nullptr;
    ASSERT_HR(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID__lineprobeCom));
    info->ReleaseTypeAttr(attributes);
    EXPECT_HR(DISP_E_BADINDEX, m_dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info));
    EXPECT_EQ(info.Get(), nullptr);
}

TEST_F(DispatchTest, NewObjectReturnsEmptyFromEveryProperty) {
    for (DISPID id : kProperties) EXPECT_EQ(Get(id), L"VT_EMPTY") << std::hex << id;
}

TEST_F(DispatchTest, PutAndGetByDispid) {
    const struct {
        DISPID id;
        unique_variant put;
        const wchar_t* stored;
    } cases[] = {
        {kHostname, Text(L"server01"), L"VT_BSTR:server01"},
        {kTimeout, Int32(30), L"VT_I4:30"},
        {kParameter, Text(L"#LOGFILE=a#"), L"VT_BSTR:#LOGFILE=a#"},
        {kResult, Bool(false), L"VT_BOOL:0"},
        {kTimeout, Null(), L"VT_NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_HR(S_OK, DispatchPut(m_dispatch.Get(), c.id, *c.put.get()));
        EXPECT_EQ(Get(c.id), c.stored);
    }
}

TEST_F(DispatchTest, ByReferenceArgumentIsTakenAtPutTime) {
    unique_variant variable = Text(L"first");
    ASSERT_HR(S_OK, DispatchPut(m_dispatch.Get(), kHostname, RefTo(*variable.get())));
    variable = Text(L"second");
    EXPECT_EQ(Get(kHostname), L"VT_BSTR:first");
}

TEST_F(DispatchTest, PutByReferenceKeepsIdentity) {
    CountingObject object;
    ASSERT_HR(S_OK, DispatchPut(m_dispatch.Get(), kParameter, *Object(&object).get(), DISPATCH_PROPERTYPUTREF));
    unique_variant stored;
    ASSERT_HR(S_OK, DispatchGet(m_dispatch.Get(), kParameter, stored));
    ASSERT_EQ(V_VT(stored.get()), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(stored.get()), &object);
    stored.reset();
    m_dispatch.Reset();
    m_object.Reset();
    EXPECT_EQ(object.Held(), 0u);
}

TEST_F(DispatchTest, FailureArrivesAsExceptionWithDescription) {
    ASSERT_HR(S_OK, DispatchPut(m_dispatch.Get(), kTimeout, *Text(L"old").get()));
    EXCEPINFO exception = {};
    EXPECT_HR(DISP_E_EXCEPTION,
              DispatchPut(m_dispatch.Get(), kTimeout, *Int32(5).get(), DISPATCH_PROPERTYPUTREF, &exception));
    EXPECT_HR(kObjectRequired, exception.scode);
    EXPECT_EQ(std::wstring(exception.bstrDescription ? exception.bstrDescription : L""), L"Object required");
    EXPECT_EQ(std::wstring(exception.bstrSource ? exception.bstrSource : L""), L"comlineprobe.lineprobeCom");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    EXPECT_EQ(Get(kTimeout), L"VT_BSTR:old");
}

TEST_F(DispatchTest, VtableAndDispatchShareState) {
    ASSERT_HR(S_OK, m_object->put_ec_hostname(*Text(L"early").get()));
    EXPECT_EQ(Get(kHostname), L"VT_BSTR:early");
    ASSERT_HR(S_OK, DispatchPut(m_dispatch.Get(), kTimeout, *Int32(9).get()));
    unique_variant value;
    ASSERT_HR(S_OK, m_object->get_ec_timeout(value.get()));
    EXPECT_EQ(Describe(*value.get()), L"VT_I4:9");
}

// Only the shape of the call is ours; what the check finds is the check run's.
TEST_F(DispatchTest, CheckIsAMethodReturningABoolean) {
    unique_variant verdict;
    ASSERT_HR(S_OK, DispatchGet(m_dispatch.Get(), kDocheck, verdict, DISPATCH_METHOD));
    EXPECT_EQ(V_VT(verdict.get()), VT_BOOL);
    EXPECT_EQ(V_VT(verdict.get()) == VT_BOOL ? Get(kResult).substr(0, 8) : L"", L"VT_BSTR:");
}

TEST_F(DispatchTest, ThereIsNoDefaultMember) {
    unique_variant result;
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, DispatchGet(m_dispatch.Get(), DISPID_VALUE, result));
}

}  // namespace
}  // namespace lineprobe::test
