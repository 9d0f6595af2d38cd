// The server around the object: class factory, DllCanUnloadNow, QueryInterface, error information.
#include "ComTestSupport.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

HRESULT CanUnloadNow() {
    const auto canUnloadNow = ServerExport<DllCanUnloadNowFunction>("DllCanUnloadNow");
    return canUnloadNow ? canUnloadNow() : E_FAIL;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HR(S_OK, ServerClassFactory(m_factory));
        // Every other case releases what it made; the server starts idle.
        ASSERT_HR(S_OK, CanUnloadNow());
    }
    void TearDown() override { EXPECT_HR(S_OK, CanUnloadNow()) << "a case leaked an object or a lock"; }

    ComPtr<IClassFactory> m_factory;
};

TEST_F(ServerTest, CanUnloadOnlyWithoutObjectsAndLocks) {
    ComPtr<_lineprobeCom> first;
    ComPtr<_lineprobeCom> second;
    ASSERT_HR(S_OK, m_factory->CreateInstance(nullptr, IID__lineprobeCom, &first));
    EXPECT_HR(S_FALSE, CanUnloadNow());
    ASSERT_HR(S_OK, m_factory->CreateInstance(nullptr, IID__lineprobeCom, &second));
    first.Reset();
    EXPECT_HR(S_FALSE, CanUnloadNow());
    ASSERT_HR(S_OK, m_factory->LockServer(TRUE));
    second.Reset();
    EXPECT_HR(S_FALSE, CanUnloadNow());  // the lock alone keeps the server
    ASSERT_HR(S_OK, m_factory->LockServer(TRUE));
    ASSERT_HR(S_OK, m_factory->LockServer(FALSE));
    EXPECT_HR(S_FALSE, CanUnloadNow());
    ASSERT_HR(S_OK, m_factory->LockServer(FALSE));
    EXPECT_HR(S_OK, CanUnloadNow());
}

TEST_F(ServerTest, HeldFactoryWithoutLockDoesNotKeepTheServer) {
    EXPECT_HR(S_OK, CanUnloadNow());
}

TEST_F(ServerTest, AggregationIsRefused) {
    CountingObject outer;
    void* out = &outer;
    EXPECT_HR(CLASS_E_NOAGGREGATION, m_factory->CreateInstance(&outer, IID_IUnknown, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer.Held(), 0u);
}

TEST_F(ServerTest, OnlyTheOneClassIsServed) {
    const auto getClassObject = ServerExport<DllGetClassObjectFunction>("DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    const CLSID others[] = {CLSID_NULL, LIBID_comlineprobe, IID__lineprobeCom,
                            {0x21239317, 0x5cff, 0x44ec, {0x9f, 0x93, 0x10, 0x7f, 0xc0, 0xa6, 0x17, 0xbe}}};
    for (const CLSID& clsid : others) {
        void* out = this;
        EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, getClassObject(clsid, IID_IClassFactory, &out));
        EXPECT_EQ(out, nullptr);
    }
    void* out = this;
    EXPECT_HR(E_NOINTERFACE, getClassObject(CLSID_lineprobeCom, IID_IDispatch, &out));
    EXPECT_EQ(out, nullptr);
    ComPtr<IUnknown> unknown;
    EXPECT_HR(S_OK, getClassObject(CLSID_lineprobeCom, IID_IUnknown, &unknown));
}

TEST_F(ServerTest, ObjectAnswersForItsInterfacesOnly) {
    const struct {
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {&IID_IUnknown, S_OK},           {&IID_IDispatch, S_OK},        {&IID__lineprobeCom, S_OK},
        {&IID_ISupportErrorInfo, S_OK},  {&IID_IClassFactory, E_NOINTERFACE},
        {&IID_IPersist, E_NOINTERFACE},  {&IID_IMarshal, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        ComPtr<IUnknown> object;
        EXPECT_HR(c.expected, m_factory->CreateInstance(nullptr, *c.iid, &object));
        EXPECT_EQ(object != nullptr, SUCCEEDED(c.expected));
    }
    EXPECT_HR(E_POINTER, m_factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
}

TEST_F(ServerTest, EveryInterfaceLeadsToTheSameIdentity) {
    ComPtr<IUnknown> identity;
    ASSERT_HR(S_OK, m_factory->CreateInstance(nullptr, IID_IUnknown, &identity));
    for (const IID* iid : {&IID_IDispatch, &IID__lineprobeCom, &IID_ISupportErrorInfo}) {
        ComPtr<IUnknown> part;
        ASSERT_HR(S_OK, identity->QueryInterface(*iid, &part));
        ComPtr<IUnknown> back;
        ASSERT_HR(S_OK, part.As(&back));
        EXPECT_EQ(back.Get(), identity.Get());
    }
    void* out = this;
    EXPECT_HR(E_NOINTERFACE, identity->QueryInterface(IID_IPersist, &out));
    EXPECT_EQ(out, nullptr);
}

TEST_F(ServerTest, ErrorInformationIsSupportedForTheInterface) {
    ComPtr<ISupportErrorInfo> support;
    ASSERT_HR(S_OK, m_factory->CreateInstance(nullptr, IID_ISupportErrorInfo, &support));
    EXPECT_HR(S_OK, support->InterfaceSupportsErrorInfo(IID__lineprobeCom));
    EXPECT_HR(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IClassFactory));
}

TEST_F(ServerTest, FailureCarriesSourceGuidAndDescription) {
    ComPtr<_lineprobeCom> object;
    ASSERT_HR(S_OK, m_factory->CreateInstance(nullptr, IID__lineprobeCom, &object));
    SetErrorInfo(0, nullptr);
    ASSERT_HR(kObjectRequired, object->putref_ec_hostname(*Text(L"not an object").get()));
    ComPtr<IErrorInfo> info;
    ASSERT_HR(S_OK, GetErrorInfo(0, &info));
    GUID guid = {};
    unique_bstr source;
    unique_bstr description;
    ASSERT_HR(S_OK, info->GetGUID(&guid));
    ASSERT_HR(S_OK, info->GetSource(source.put()));
    ASSERT_HR(S_OK, info->GetDescription(description.put()));
    EXPECT_TRUE(IsEqualGUID(guid, IID__lineprobeCom));
    EXPECT_EQ(source.view(), L"comlineprobe.lineprobeCom");
    EXPECT_EQ(description.view(), L"Object required");
}

}  // namespace
}  // namespace lineprobe::test
