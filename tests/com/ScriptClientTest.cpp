// Real late-binding hosts: VBScript and JScript run by the system's cscript of this
// program's bitness, and COM's own creation by ProgID, against the registered DLL.
#include "SystemTools.h"

namespace lineprobe::test {
namespace {

class ScriptClientTest : public RegisteredSuite {
protected:
    void SetUp() override { ASSERT_TRUE(s_registered) << "regsvr32 could not register the DLL"; }

    static std::vector<std::string> RunScript(const wchar_t* file) {
        const std::wstring script = ProgramFolder() + L"com-clients\\" + file;
        const ToolRun run = RunTool(SystemTool(L"cscript.exe"), L"//nologo \"" + script + L"\"");
        std::vector<std::string> lines = Lines(run.output);
        if (run.exitCode != 0) lines.push_back("exit code " + std::to_string(run.exitCode));
        return lines;
    }
};

TEST_F(ScriptClientTest, VBScript) {
    const std::vector<std::string> expected = {
        "new ec_hostname: Empty",
        "new ec_timeout: Empty",
        "new ec_parameter: Empty",
        "new ec_result: Empty",
        "ec_hostname: String server01",
        "ec_timeout: Long 30",
        "ec_timeout: Integer 30",
        "ec_parameter: String #LOGFILE=c:\\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#",
        "ec_result: Boolean True",
        "ec_result: Null",
        "ec_timeout: Empty",
        "ec_hostname after the variable changed: String first",
        "second object ec_hostname: Empty",
        "first object ec_hostname: String first",
        "ec_parameter set to an object: _lineprobeCom",
        "same object: True",
        "through ec_parameter: Long 60",
    };
    EXPECT_EQ(RunScript(L"lineprobe.vbs"), expected);
}

TEST_F(ScriptClientTest, JScript) {
    const std::vector<std::string> expected = {
        "new ec_hostname: undefined",
        "new ec_timeout: undefined",
        "new ec_parameter: undefined",
        "new ec_result: undefined",
        "ec_hostname: string server01",
        "ec_timeout: number 30",
        "ec_parameter: string #LOGFILE=c:\\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#",
        "ec_result: boolean false",
        "ec_result: object",
        "second object ec_hostname: undefined",
        "first object ec_hostname: string server01",
        "ec_parameter set to an object: object",
        "same object: true",
        "through ec_parameter: number 60",
    };
    EXPECT_EQ(RunScript(L"lineprobe.js"), expected);
}

TEST_F(ScriptClientTest, ComCreatesTheObjectByProgId) {
    CLSID clsid = {};
    ASSERT_HR(S_OK, CLSIDFromProgID(L"comlineprobe.lineprobeCom", &clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_lineprobeCom));
    Microsoft::WRL::ComPtr<_lineprobeCom> object;
    ASSERT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__lineprobeCom, &object));
    ASSERT_HR(S_OK, object->put_ec_hostname(*Text(L"server01").get()));
    unique_variant value;
    ASSERT_HR(S_OK, object->get_ec_hostname(value.get()));
    EXPECT_EQ(Describe(*value.get()), L"VT_BSTR:server01");
}

}  // namespace
}  // namespace lineprobe::test
