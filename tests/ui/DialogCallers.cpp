// The two ways the dialog's cases reach it: the entry point linked into this
// program (icon and version from this program's resources), and ec_showGUI of
// a real check object from comlineprobe.dll beside the program.
#include "Result.h"
#include "UniqueResource.h"
#include "Variant.h"
#include "DialogCases.h"
#include "ShowGui.h"
#include "TestObject.h"
#include "frmmain.h"

namespace lineprobe::test {
namespace {

// COM on the thread that calls the dialog, as a host's thread has it.
const Apartment g_apartment;

std::wstring TextOf(const VARIANT& value) {
    try {
        return VariantToText(value);
    } catch (const Failure&) {
        return L"(no text)";
    }
}

// Stands in for the check object: keeps the parameter string and stores what OK returns.
class EntryPointCaller final : public DialogCaller {
public:
    HRESULT Show(const VARIANT& timeout, const VARIANT* parameter) override {
        if (parameter) {
            RETURN_IF_FAILED(VariantCopy(m_parameter.get(), const_cast<VARIANT*>(parameter)));
        }
        return Guarded(IID_NULL, [&] {
            const auto edited = ShowGui(m_dialog, timeout, *m_parameter.get());
            if (edited) {
                m_parameter.reset();
                V_BSTR(m_parameter.get()) = MakeBstr(*edited).release();
                V_VT(m_parameter.get()) = VT_BSTR;
            }
            return S_OK;
        });
    }
    std::wstring Parameter() override { return TextOf(*m_parameter.get()); }
    // ui_tests.rc: file version 2.7.3.0
    std::wstring ExpectedCaption() override { return L"Word in First Line: External COM check (version 2.7 build  0)"; }
    bool HasIcon() override { return false; }

private:
    frmmain m_dialog;
    unique_variant m_parameter;
};

class ObjectCaller final : public DialogCaller {
public:
    HRESULT Show(const VARIANT& timeout, const VARIANT* parameter) override {
        if (!m_object) return E_POINTER;
        RETURN_IF_FAILED(m_object->put_ec_timeout(timeout));
        if (parameter) {
            RETURN_IF_FAILED(m_object->put_ec_parameter(*parameter));
        }
        return m_object->ec_showGUI();
    }
    std::wstring Parameter() override {
        unique_variant value;
        if (!m_object || FAILED(m_object->get_ec_parameter(value.get()))) return L"(no value)";
        return TextOf(*value.get());
    }
    // The DLL's version block: 1.0.0.15
    std::wstring ExpectedCaption() override { return L"Word in First Line: External COM check (version 1.0 build  15)"; }
    bool HasIcon() override { return true; }

private:
    Microsoft::WRL::ComPtr<_lineprobeCom> m_object = NewTestObject();
};

}  // namespace

std::vector<std::string> CallerNames() { return {"EntryPoint", "Object"}; }

std::unique_ptr<DialogCaller> MakeCaller(const std::string& name) {
    if (name == "EntryPoint") return std::make_unique<EntryPointCaller>();
    if (name == "Object") return std::make_unique<ObjectCaller>();
    return nullptr;
}

}  // namespace lineprobe::test
