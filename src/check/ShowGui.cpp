#include "ShowGui.h"

#include "Base64.h"
#include "CheckRun.h"
#include "ParameterString.h"
#include "Result.h"
#include "Share.h"
#include "Topwindow.h"
#include "Variant.h"
#include "frmmain.h"

namespace lineprobe {
namespace {

// A null parameter has no length, like an empty one: the boxes keep their initial texts.
std::wstring ParameterText(const VARIANT& parameter) {
    return IsNull(parameter) ? std::wstring() : VariantToText(parameter);
}

// Test runs on a worker thread: the check for a parameter string needs no COM.
// It keeps to the host's time limit as a check of the host would.
CheckTester Tester(const ShareApi& shareApi, unsigned timeLimit) {
    return [api = &shareApi, timeLimit](std::wstring_view parameterText) {
        CheckOutcome outcome = RunCheck(parameterText, timeLimit, *api);
        return TestAnswer{outcome.up, std::move(outcome.text)};
    };
}

}  // namespace

std::optional<std::wstring> ShowGui(frmmain& dialog, const VARIANT& timeout, const VARIANT& parameter) {
    return ShowGui(dialog, timeout, parameter, SystemShareApi());
}

std::optional<std::wstring> ShowGui(frmmain& dialog, const VARIANT& timeout, const VARIANT& parameter,
                                    const ShareApi& shareApi) {
    if (dialog.IsShowing()) {
        throw ComError(E_UNEXPECTED, L"The configuration dialog of this check is already shown");
    }
    try {
        // Touching the timeout box loads the dialog before its value is converted.
        dialog.Load();
        dialog.SetText(L"txtTimeout", Trim(VariantToText(timeout)));

        const std::wstring text = ParameterText(parameter);
        if (!text.empty()) {
            // Every value first, so that an undecodable password leaves no box half filled.
            const std::wstring logFile = GetParameterField(text, L"LOGFILE");
            const std::wstring user = GetParameterField(text, L"USER");
            const SecretText password = DecodePassword(GetParameterField(text, L"PW"));
            const std::wstring up = GetParameterField(text, L"UP");
            const std::wstring down = GetParameterField(text, L"DOWN");
            const std::wstring maxAge = GetParameterField(text, L"MAXAGE");
            dialog.SetText(L"txtlogfilename", logFile);
            dialog.SetText(L"txtUserName", user);
            dialog.SetText(L"txtPassword", password.View());
            dialog.SetText(L"txtUP", up);
            dialog.SetText(L"txtDown", down);
            dialog.SetText(L"txtMaxAge", maxAge);
        }

        // A refusal only costs the always-on-top band; the dialog is shown anyway.
        SetTopMost(dialog.Hwnd());
        return dialog.ShowModal(Tester(shareApi, TimeLimitOf(timeout)));
    } catch (...) {
        // A failed call leaves no hidden window behind.
        dialog.Unload();
        throw;
    }
}

}  // namespace lineprobe
