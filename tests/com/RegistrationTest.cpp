// Registration with the system's regsvr32 of this program's bitness, read back from
// the registry view of the same bitness.
#include "SystemTools.h"

namespace lineprobe::test {
namespace {

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// RegisterTypeLib writes the flags of the library as the system's loader reports them.
std::wstring LibraryFlags() {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    TLIBATTR* attributes = nullptr;
    if (FAILED(LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &library)) ||
        FAILED(library->GetLibAttr(&attributes))) {
        return L"?";
    }
    const std::wstring flags = std::to_wstring(attributes->wLibFlags);
    library->ReleaseTLibAttr(attributes);
    return flags;
}

std::vector<std::wstring> ExpectedKeys() {
    const std::wstring progId = L"comlineprobe.lineprobeCom";
    const std::wstring clsid = GuidText(CLSID_lineprobeCom);
    const std::wstring libid = GuidText(LIBID_comlineprobe);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring interfaceKey = L"Interface\\" + GuidText(IID__lineprobeCom);
    const std::wstring libraryKey = L"TypeLib\\" + libid;
    const std::wstring automationProxy = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
    const std::wstring platform = L"win64";
#else
    const std::wstring platform = L"win32";
#endif
    std::vector<std::wstring> keys = {
        progId,
        progId + L": @ = " + progId,
        progId + L"\\CLSID",
        progId + L"\\CLSID: @ = " + clsid,
        classKey,
        classKey + L": @ = " + progId,
        classKey + L"\\InprocServer32",
        classKey + L"\\InprocServer32: @ = " + ServerPath(),
        classKey + L"\\InprocServer32: ThreadingModel = Apartment",
        classKey + L"\\ProgID",
        classKey + L"\\ProgID: @ = " + progId,
        classKey + L"\\TypeLib",
        classKey + L"\\TypeLib: @ = " + libid,
        interfaceKey,
        interfaceKey + L": @ = _lineprobeCom",
        interfaceKey + L"\\ProxyStubClsid",
        interfaceKey + L"\\ProxyStubClsid: @ = " + automationProxy,
        interfaceKey + L"\\ProxyStubClsid32",
        interfaceKey + L"\\ProxyStubClsid32: @ = " + automationProxy,
        interfaceKey + L"\\TypeLib",
        interfaceKey + L"\\TypeLib: @ = " + libid,
        interfaceKey + L"\\TypeLib: Version = 1.0",
        libraryKey,
        libraryKey + L"\\1.0",
        libraryKey + L"\\1.0: @ = comlineprobe",
        // The neutral locale, where the type-library marshaler looks.
        libraryKey + L"\\1.0\\0",
        libraryKey + L"\\1.0\\0\\" + platform,
        libraryKey + L"\\1.0\\0\\" + platform + L": @ = " + ServerPath(),
        libraryKey + L"\\1.0\\409",
        libraryKey + L"\\1.0\\409\\" + platform,
        libraryKey + L"\\1.0\\409\\" + platform + L": @ = " + ServerPath(),
        libraryKey + L"\\1.0\\FLAGS",
        libraryKey + L"\\1.0\\FLAGS: @ = " + LibraryFlags(),
        libraryKey + L"\\1.0\\HELPDIR",
        libraryKey + L"\\1.0\\HELPDIR: @ = " + Folder(ServerPath()),
    };
    std::sort(keys.begin(), keys.end());
    return keys;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ServerModule(), nullptr);
        ASSERT_EQ(Snapshot(RegistrationRoots()), std::vector<std::wstring>()) << "registered before the case";
    }
    RegistrationGuard m_guard;
};

TEST_F(RegistrationTest, Regsvr32WritesExactlyTheListedKeysAndRemovesThemAll) {
    const ToolRun registering = Regsvr32(L"/s");
    ASSERT_EQ(registering.exitCode, 0u) << registering.output;
    EXPECT_EQ(Snapshot(RegistrationRoots()), ExpectedKeys());
#ifndef _WIN64
    // The 32-bit server is registered for 32-bit hosts only.
    unique_hkey otherView;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_lineprobeCom)).c_str(), 0,
                            KEY_READ | KEY_WOW64_64KEY, otherView.put()),
              ERROR_FILE_NOT_FOUND);
#endif

    const ToolRun unregistering = Regsvr32(L"/u /s");
    EXPECT_EQ(unregistering.exitCode, 0u) << unregistering.output;
    EXPECT_EQ(Snapshot(RegistrationRoots()), std::vector<std::wstring>());
}

TEST_F(RegistrationTest, UnregisteringWhatIsNotRegisteredSucceeds) {
    const auto unregister = ServerExport<ServerRegistrationFunction>("DllUnregisterServer");
    ASSERT_NE(unregister, nullptr);
    EXPECT_HR(S_OK, unregister());
}

// A key that cannot take the subkeys registration needs: a volatile key only
// holds volatile ones. The rollback takes back what the call created, and no
// key that was there before it.
TEST_F(RegistrationTest, FailedWriteIsReportedAndLeavesNothingOfItsOwnBehind) {
    unique_hkey blocker;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"comlineprobe.lineprobeCom", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, blocker.put(), nullptr),
              ERROR_SUCCESS);
    blocker.reset();
    const auto registerServer = ServerExport<ServerRegistrationFunction>("DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), registerServer());
    const std::vector<std::wstring> left = Snapshot(RegistrationRoots());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"comlineprobe.lineprobeCom");
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.front(), L"comlineprobe.lineprobeCom") << "the key that was there before stays";
    for (const std::wstring& line : left) EXPECT_TRUE(line.starts_with(L"comlineprobe.lineprobeCom")) << line;
}

// The type library is registered before the neutral-locale keys are written:
// that key made volatile fails the call after RegisterTypeLib.
struct FailedRegistration {
    HRESULT hr = E_UNEXPECTED;
    std::vector<std::wstring> before, after;
};

FailedRegistration RegisterWithVolatileNeutralLocale() {
    FailedRegistration run;
    const std::wstring locale = L"TypeLib\\" + GuidText(LIBID_comlineprobe) + L"\\1.0\\0";
    RegDeleteTreeW(HKEY_CLASSES_ROOT, locale.c_str());
    unique_hkey blocker;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, locale.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        blocker.put(), nullptr) != ERROR_SUCCESS) {
        return run;
    }
    blocker.reset();
    run.before = Snapshot(RegistrationRoots());
    const auto registerServer = ServerExport<ServerRegistrationFunction>("DllRegisterServer");
    if (registerServer) run.hr = registerServer();
    run.after = Snapshot(RegistrationRoots());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, locale.c_str());
    return run;
}

TEST_F(RegistrationTest, FailedReRegistrationLeavesTheEarlierOneWhole) {
    ASSERT_EQ(Regsvr32(L"/s").exitCode, 0u);
    const FailedRegistration run = RegisterWithVolatileNeutralLocale();
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), run.hr);
    EXPECT_EQ(run.after, run.before);
}

#ifdef _WIN64
// Where only the 32-bit DLL registered the library, QueryPathOfRegTypeLib of
// a 64-bit process answers with the 32-bit entry.
TEST_F(RegistrationTest, FailedRegistrationBesideTheOtherBitnessTakesBackItsLibrary) {
    std::wstring other = ProgramFolder();
    const auto build = other.rfind(L"\\win64\\");
    if (build != std::wstring::npos) other.replace(build, 7, L"\\win32\\");
    other += L"comlineprobe.dll";
    if (build == std::wstring::npos || GetFileAttributesW(other.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "needs the win32 preset built beside this one (" << std::string(other.begin(), other.end())
                     << ")";
    }
    wchar_t wow64[MAX_PATH] = {};
    ASSERT_NE(GetSystemWow64DirectoryW(wow64, MAX_PATH), 0u);
    const std::wstring regsvr32 = std::wstring(wow64) + L"\\regsvr32.exe";
    ASSERT_EQ(RunTool(regsvr32, L"/s \"" + other + L"\"").exitCode, 0u);
    const FailedRegistration run = RegisterWithVolatileNeutralLocale();
    RunTool(regsvr32, L"/u /s \"" + other + L"\"");

    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), run.hr);
    for (const std::wstring& line : run.after) EXPECT_EQ(line.find(ServerPath()), std::wstring::npos) << line;
}
#endif

}  // namespace
}  // namespace lineprobe::test
