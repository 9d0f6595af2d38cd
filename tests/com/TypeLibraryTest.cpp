// The type library embedded in the DLL, read back the way hosts and the system read it.
#include <vector>

#include "ComTestSupport.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

#ifdef _WIN64
constexpr SYSKIND kSyskind = SYS_WIN64;
#else
constexpr SYSKIND kSyskind = SYS_WIN32;
#endif
constexpr GUID kStdole = {0x00020430, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// RAII for the attribute blocks that ITypeLib and ITypeInfo lend out.
template <typename Owner, typename Attribute, void (STDMETHODCALLTYPE Owner::*Give)(Attribute*)>
class Lent {
public:
    Lent(Owner* owner, Attribute* attribute) : m_owner(owner), m_attribute(attribute) {}
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;
    ~Lent() {
        if (m_attribute) (m_owner->*Give)(m_attribute);
    }
    Attribute* operator->() const { return m_attribute; }
    explicit operator bool() const { return m_attribute != nullptr; }

private:
    Owner* m_owner;
    Attribute* m_attribute;
};

auto LibAttr(ITypeLib* library) {
    TLIBATTR* attribute = nullptr;
    library->GetLibAttr(&attribute);
    return Lent<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>(library, attribute);
}
auto TypeAttr(ITypeInfo* info) {
    TYPEATTR* attribute = nullptr;
    info->GetTypeAttr(&attribute);
    return Lent<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>(info, attribute);
}
auto FuncDesc(ITypeInfo* info, UINT index) {
    FUNCDESC* description = nullptr;
    info->GetFuncDesc(index, &description);
    return Lent<ITypeInfo, FUNCDESC, &ITypeInfo::ReleaseFuncDesc>(info, description);
}

struct Documentation {
    std::wstring name;
    std::wstring text;
    DWORD helpContext = 0;
    std::wstring helpFile;
    bool hasText = false;
};

template <typename Described, typename Index>
Documentation Document(Described* described, Index index) {
    unique_bstr name, text, helpFile;
    Documentation result;
    described->GetDocumentation(index, name.put(), text.put(), &result.helpContext, helpFile.put());
    result.name = name.view();
    result.text = text.view();
    result.hasText = text.get() != nullptr;
    result.helpFile = helpFile.view();
    return result;
}

class TypeLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_HR(S_OK, LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &s_library));
    }
    static void TearDownTestSuite() { s_library.Reset(); }

    static ComPtr<ITypeInfo> Type(UINT index) {
        ComPtr<ITypeInfo> info;
        s_library->GetTypeInfo(index, &info);
        return info;
    }
    // The vtable half of the dual interface.
    static ComPtr<ITypeInfo> InterfaceHalf() {
        ComPtr<ITypeInfo> dispatch = Type(0);
        HREFTYPE handle = 0;
        ComPtr<ITypeInfo> vtable;
        if (dispatch && SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &handle))) {
            dispatch->GetRefTypeInfo(handle, &vtable);
        }
        return vtable;
    }

    static ComPtr<ITypeLib> s_library;
};
ComPtr<ITypeLib> TypeLibraryTest::s_library;

TEST_F(TypeLibraryTest, LibraryAttributes) {
    auto attributes = LibAttr(s_library.Get());
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_comlineprobe));
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, kSyskind);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0) << "not restricted, control or hidden";

    const Documentation library = Document(s_library.Get(), -1);
    EXPECT_EQ(library.name, L"comlineprobe");
    EXPECT_FALSE(library.hasText && !library.text.empty()) << "no help string";
    EXPECT_EQ(library.helpContext, 206u);
    EXPECT_TRUE(library.helpFile.ends_with(L"comlineprobe.chm")) << testing::PrintToString(library.helpFile);
}

// The help context as the file stores it, whatever the loader reports.
TEST_F(TypeLibraryTest, HeaderStoresHelpContextAndNoHelpString) {
    const HRSRC found = FindResourceW(ServerModule(), MAKEINTRESOURCEW(1), L"TYPELIB");
    ASSERT_NE(found, nullptr);
    ASSERT_GE(SizeofResource(ServerModule(), found), 0x30u);
    const auto* header = static_cast<const INT*>(LockResource(LoadResource(ServerModule(), found)));
    EXPECT_EQ(header[0x24 / 4], -1) << "library help string";
    EXPECT_EQ(header[0x2C / 4], 206) << "library help context";
}

TEST_F(TypeLibraryTest, TwoTypesInOrder) {
    ASSERT_EQ(s_library->GetTypeInfoCount(), 2u);
    const struct {
        const wchar_t* name;
        TYPEKIND kind;
        const GUID* guid;
    } types[] = {{L"_lineprobeCom", TKIND_DISPATCH, &IID__lineprobeCom}, {L"lineprobeCom", TKIND_COCLASS, &CLSID_lineprobeCom}};
    for (UINT i = 0; i < 2; ++i) {
        TYPEKIND kind = TKIND_MAX;
        ASSERT_HR(S_OK, s_library->GetTypeInfoType(i, &kind));
        EXPECT_EQ(kind, types[i].kind);
        EXPECT_EQ(Document(s_library.Get(), static_cast<INT>(i)).name, types[i].name);
        auto attributes = TypeAttr(Type(i).Get());
        ASSERT_TRUE(attributes);
        EXPECT_TRUE(IsEqualGUID(attributes->guid, *types[i].guid)) << i;
        EXPECT_EQ(attributes->wMajorVerNum, 1);
        EXPECT_EQ(attributes->wMinorVerNum, 0);
        const Documentation type = Document(s_library.Get(), static_cast<INT>(i));
        EXPECT_TRUE(type.text.empty());
        EXPECT_EQ(type.helpContext, 0u);
    }
}

TEST_F(TypeLibraryTest, InterfaceIsAHiddenNonextensibleDual) {
    auto dispatch = TypeAttr(Type(0).Get());
    ASSERT_TRUE(dispatch);
    constexpr WORD kFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                            TYPEFLAG_FDISPATCHABLE;
    // The dispatch half of a dual interface is not itself oleautomation; its vtable half is.
    EXPECT_EQ(dispatch->wTypeFlags, kFlags & ~TYPEFLAG_FOLEAUTOMATION);

    ComPtr<ITypeInfo> vtable = InterfaceHalf();
    ASSERT_TRUE(vtable);
    auto attributes = TypeAttr(vtable.Get());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->wTypeFlags, kFlags);
    EXPECT_EQ(attributes->cFuncs, 14);
    EXPECT_EQ(attributes->cImplTypes, 1);
    EXPECT_EQ(attributes->cbSizeVft, 21 * sizeof(void*));

    // Derived from IDispatch of stdole2.tlb 2.0.
    HREFTYPE handle = 0;
    ComPtr<ITypeInfo> base;
    ASSERT_HR(S_OK, vtable->GetRefTypeOfImplType(0, &handle));
    ASSERT_HR(S_OK, vtable->GetRefTypeInfo(handle, &base));
    auto baseAttributes = TypeAttr(base.Get());
    ASSERT_TRUE(baseAttributes);
    EXPECT_TRUE(IsEqualGUID(baseAttributes->guid, IID_IDispatch));
    ComPtr<ITypeLib> baseLibrary;
    UINT index = 0;
    ASSERT_HR(S_OK, base->GetContainingTypeLib(&baseLibrary, &index));
    auto baseLibraryAttributes = LibAttr(baseLibrary.Get());
    ASSERT_TRUE(baseLibraryAttributes);
    EXPECT_TRUE(IsEqualGUID(baseLibraryAttributes->guid, kStdole));
    EXPECT_EQ(baseLibraryAttributes->wMajorVerNum, 2);
    EXPECT_EQ(baseLibraryAttributes->wMinorVerNum, 0);
}

TEST_F(TypeLibraryTest, FourteenMembersInVtableOrder) {
    enum Shape { Check, Show, Put, Get };
    const struct {
        const wchar_t* name;
        INVOKEKIND kind;
        MEMBERID id;
        Shape shape;
    } members[] = {
        {L"ec_docheck", INVOKE_FUNC, 0x60030004, Check},
        {L"ec_showGUI", INVOKE_FUNC, 0x60030005, Show},
        {L"ec_result", INVOKE_PROPERTYPUT, 0x68030003, Put},
        {L"ec_result", INVOKE_PROPERTYPUTREF, 0x68030003, Put},
        {L"ec_result", INVOKE_PROPERTYGET, 0x68030003, Get},
        {L"ec_parameter", INVOKE_PROPERTYPUT, 0x68030002, Put},
        {L"ec_parameter", INVOKE_PROPERTYPUTREF, 0x68030002, Put},
        {L"ec_parameter", INVOKE_PROPERTYGET, 0x68030002, Get},
        {L"ec_timeout", INVOKE_PROPERTYPUT, 0x68030001, Put},
        {L"ec_timeout", INVOKE_PROPERTYPUTREF, 0x68030001, Put},
        {L"ec_timeout", INVOKE_PROPERTYGET, 0x68030001, Get},
        {L"ec_hostname", INVOKE_PROPERTYPUT, 0x68030000, Put},
        {L"ec_hostname", INVOKE_PROPERTYPUTREF, 0x68030000, Put},
        {L"ec_hostname", INVOKE_PROPERTYGET, 0x68030000, Get},
    };
    ComPtr<ITypeInfo> vtable = InterfaceHalf();
    ASSERT_TRUE(vtable);
    for (UINT i = 0; i < 14; ++i) {
        const auto& member = members[i];
        SCOPED_TRACE(testing::Message() << "vtable member " << i + 1);
        auto function = FuncDesc(vtable.Get(), i);
        ASSERT_TRUE(function);
        EXPECT_EQ(function->memid, member.id);
        EXPECT_EQ(function->invkind, member.kind);
        EXPECT_EQ(function->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(function->callconv, CC_STDCALL);
        EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(function->cParamsOpt, 0);
        EXPECT_EQ(function->wFuncFlags, 0);

        // widl names an unnamed parameter itself, so only the member's own name is checked.
        BSTR names[4] = {};
        UINT count = 0;
        ASSERT_HR(S_OK, vtable->GetNames(member.id, names, 4, &count));
        const std::wstring name(names[0] ? names[0] : L"");
        for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
        EXPECT_EQ(name, member.name);

        const Documentation documentation = Document(vtable.Get(), member.id);
        EXPECT_TRUE(documentation.text.empty());
        EXPECT_EQ(documentation.helpContext, 0u);

        if (member.shape == Show) {
            EXPECT_EQ(function->cParams, 0);
            continue;
        }
        ASSERT_EQ(function->cParams, 1);
        const ELEMDESC& parameter = function->lprgelemdescParam[0];
        switch (member.shape) {
        case Check:
            ASSERT_EQ(parameter.tdesc.vt, VT_PTR);
            EXPECT_EQ(parameter.tdesc.lptdesc->vt, VT_BOOL);
            EXPECT_EQ(parameter.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
            break;
        case Put:
            EXPECT_EQ(parameter.tdesc.vt, VT_VARIANT);
            EXPECT_EQ(parameter.paramdesc.wParamFlags, PARAMFLAG_FIN);
            break;
        case Get:
            ASSERT_EQ(parameter.tdesc.vt, VT_PTR);
            EXPECT_EQ(parameter.tdesc.lptdesc->vt, VT_VARIANT);
            EXPECT_EQ(parameter.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
            break;
        case Show:
            break;
        }
    }
}

TEST_F(TypeLibraryTest, ClassIsCreatableWithTheInterfaceAsDefault) {
    ComPtr<ITypeInfo> coclass = Type(1);
    ASSERT_TRUE(coclass);
    auto attributes = TypeAttr(coclass.Get());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->wTypeFlags, TYPEFLAG_FCANCREATE);
    ASSERT_EQ(attributes->cImplTypes, 1);
    INT flags = -1;
    ASSERT_HR(S_OK, coclass->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE handle = 0;
    ComPtr<ITypeInfo> implemented;
    ASSERT_HR(S_OK, coclass->GetRefTypeOfImplType(0, &handle));
    ASSERT_HR(S_OK, coclass->GetRefTypeInfo(handle, &implemented));
    auto implementedAttributes = TypeAttr(implemented.Get());
    ASSERT_TRUE(implementedAttributes);
    EXPECT_TRUE(IsEqualGUID(implementedAttributes->guid, IID__lineprobeCom));
}

}  // namespace
}  // namespace lineprobe::test
