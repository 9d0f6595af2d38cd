// A host whose calling thread is in the multithreaded apartment: COM makes the
// apartment-threaded object in a host apartment of its own and hands back a
// proxy, which carries every member, by vtable and by IDispatch, through the
// registered type library.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "CheckTestSupport.h"
#include "HostSupport.h"
#include "SystemTools.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

const Apartment g_apartment(COINIT_MULTITHREADED);

class CrossApartment : public RegisteredSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(s_registered) << "regsvr32 could not register the DLL";
        ASSERT_TRUE(WriteBytes(m_folder / L"status.txt", "all OK\r\nthrough the proxy\r\n"));
        m_parameter = L"#LOGFILE=" + m_folder / L"status.txt" + L"#USER=#PW=#UP=OK#DOWN=FAIL#";
        const HRESULT hr = CoCreateInstance(CLSID_lineprobeCom, nullptr, CLSCTX_INPROC_SERVER, IID__lineprobeCom,
                                            reinterpret_cast<void**>(m_object.GetAddressOf()));
        ASSERT_EQ(hr, S_OK) << std::hex << hr;
        // Only a proxy has the client-side security of a marshaled interface.
        ComPtr<IClientSecurity> security;
        ASSERT_EQ(m_object.As(&security), S_OK) << "not a proxy";
    }

    const TempFolder m_folder{L"lineprobe-host-proxy"};
    std::wstring m_parameter;
    ComPtr<_lineprobeCom> m_object;
};

using Putter = HRESULT (STDMETHODCALLTYPE _lineprobeCom::*)(VARIANT);
using Getter = HRESULT (STDMETHODCALLTYPE _lineprobeCom::*)(VARIANT*);

struct PropertyCase {
    const wchar_t* name;
    Putter put;
    Getter get;
    std::function<unique_variant()> value;
    const wchar_t* described;
};

const PropertyCase kProperties[] = {
    {L"ec_hostname", &_lineprobeCom::put_ec_hostname, &_lineprobeCom::get_ec_hostname, [] { return Text(L"server01"); },
     L"VT_BSTR:server01"},
    {L"ec_timeout", &_lineprobeCom::put_ec_timeout, &_lineprobeCom::get_ec_timeout, [] { return Int32(30); },
     L"VT_I4:30"},
    {L"ec_result", &_lineprobeCom::put_ec_result, &_lineprobeCom::get_ec_result, [] { return Bool(true); },
     L"VT_BOOL:-1"},
    {L"ec_parameter", &_lineprobeCom::put_ec_parameter, &_lineprobeCom::get_ec_parameter, [] { return Text(L"#UP=x#"); },
     L"VT_BSTR:#UP=x#"},
};

TEST_F(CrossApartment, PropertiesByVtable) {
    for (const PropertyCase& c : kProperties) {
        const unique_variant value = c.value();
        EXPECT_EQ((m_object.Get()->*c.put)(*value.get()), S_OK) << c.name;
        unique_variant back;
        EXPECT_EQ((m_object.Get()->*c.get)(back.get()), S_OK) << c.name;
        EXPECT_EQ(Describe(*back.get()), c.described) << c.name;
    }
}

TEST_F(CrossApartment, PropertiesByDispatch) {
    for (const PropertyCase& c : kProperties) {
        const DISPID id = DispatchId(m_object.Get(), c.name);
        ASSERT_NE(id, DISPID_UNKNOWN) << c.name;
        EXPECT_EQ(DispatchPut(m_object.Get(), id, *c.value().get()), S_OK) << c.name;
        unique_variant back;
        EXPECT_EQ(DispatchGet(m_object.Get(), id, back), S_OK) << c.name;
        EXPECT_EQ(Describe(*back.get()), c.described) << c.name;
    }
}

TEST_F(CrossApartment, CheckByVtable) {
    EXPECT_EQ(CheckOnce(m_object.Get(), m_parameter), L"up: through the proxy");
}

TEST_F(CrossApartment, CheckByDispatch) {
    ASSERT_EQ(DispatchPut(m_object.Get(), DispatchId(m_object.Get(), L"ec_parameter"), *Text(m_parameter).get()), S_OK);
    unique_variant up;
    ASSERT_EQ(DispatchGet(m_object.Get(), DispatchId(m_object.Get(), L"ec_docheck"), up, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(Describe(*up.get()), L"VT_BOOL:-1");
    unique_variant result;
    ASSERT_EQ(DispatchGet(m_object.Get(), DispatchId(m_object.Get(), L"ec_result"), result), S_OK);
    EXPECT_EQ(Describe(*result.get()), L"VT_BSTR:through the proxy");
}

}  // namespace
}  // namespace lineprobe::test
