// The configuration dialog as data: its window and twenty controls in tab
// order, positions in twips relative to their container.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lineprobe {

enum class ControlKind { Frame, Label, TextBox, CommandButton };

enum ControlSetting : unsigned {
    kNoSetting = 0,
    kRightAligned = 1u << 0,
    kPasswordChar = 1u << 1,  // each character shows as "*"
};

struct ControlSpec {
    std::wstring_view name;
    ControlKind kind;
    std::wstring_view container;  // empty: the dialog's client area
    int left, top, width, height;  // twips, from the container's outer top-left corner
    int tabIndex;
    std::wstring_view text;
    unsigned settings;
};

struct FormSpec {
    std::wstring_view name;
    int clientWidth, clientHeight;  // twips
    std::wstring_view caption;      // replaced by the load step before the dialog is shown
};

inline constexpr FormSpec kFrmmain{L"frmmain", 6585, 4155, L"Word in First Line"};

// Control          Kind                        Container  Left  Top   Width Height Tab Text                               Settings
inline constexpr std::array<ControlSpec, 20> kFrmmainControls{{
    {L"btOK",           ControlKind::CommandButton, L"",       5640, 240,  735,  375,  0,  L"&OK",                            kNoSetting},
    {L"txtTimeout",     ControlKind::TextBox,       L"",       1680, 3720, 1095, 285,  1,  L"",                               kNoSetting},
    {L"Label4",         ControlKind::Label,         L"",       240,  3780, 1215, 255,  2,  L"Timeout:",                       kRightAligned},
    {L"Label5",         ControlKind::Label,         L"",       2880, 3780, 1215, 255,  3,  L"seconds",                        kNoSetting},
    {L"Frame1",         ControlKind::Frame,         L"",       120,  120,  5415, 3495, 5,  L"",                               kNoSetting},
    {L"Label1",         ControlKind::Label,         L"Frame1", 120,  360,  1095, 255,  6,  L"Logiflename:",                   kRightAligned},
    {L"txtlogfilename", ControlKind::TextBox,       L"Frame1", 1320, 360,  3975, 285,  7,  L"",                               kNoSetting},
    {L"Frame2",         ControlKind::Frame,         L"Frame1", 360,  840,  4935, 1455, 8,  L"",                               kNoSetting},
    {L"Label3",         ControlKind::Label,         L"Frame2", 120,  420,  1095, 255,  9,  L"User Name:",                     kRightAligned},
    {L"txtUserName",    ControlKind::TextBox,       L"Frame2", 1440, 360,  3375, 285,  10, L"",                               kNoSetting},
    {L"Label6",         ControlKind::Label,         L"Frame2", 120,  840,  1095, 255,  11, L"Password:",                      kRightAligned},
    {L"txtPassword",    ControlKind::TextBox,       L"Frame2", 1440, 780,  3375, 285,  12, L"",                               kPasswordChar},
    {L"Label",          ControlKind::Label,         L"Frame1", 120,  2520, 2175, 255,  13, L"Text to return with UP (OK):",   kNoSetting},
    {L"txtUP",          ControlKind::TextBox,       L"Frame1", 2400, 2520, 2655, 285,  14, L"up",                             kNoSetting},
    {L"Label2",         ControlKind::Label,         L"Frame1", 120,  2880, 2415, 255,  15, L"Text to return with DOWN (NOK):", kNoSetting},
    {L"txtDown",        ControlKind::TextBox,       L"Frame1", 2640, 2880, 2415, 285,  16, L"down",                           kNoSetting},
    // The max. age row takes the place of the hidden timeout row; Test sits under OK.
    {L"Label7",         ControlKind::Label,         L"",       240,  3780, 1215, 255,  17, L"Max. age:",                      kRightAligned},
    {L"txtMaxAge",      ControlKind::TextBox,       L"",       1680, 3720, 1095, 285,  18, L"",                               kNoSetting},
    {L"Label8",         ControlKind::Label,         L"",       2880, 3780, 2655, 255,  19, L"minutes (empty: any age)",       kNoSetting},
    {L"btTest",         ControlKind::CommandButton, L"",       5640, 720,  735,  375,  20, L"&Test",                          kNoSetting},
}};

struct TwipsRect {
    int left, top, width, height;
};

// Position of the control in the dialog's client area: its own offset plus its containers'.
TwipsRect ClientRectTwips(const ControlSpec& control);

// The index of the named control in kFrmmainControls.
std::optional<std::size_t> FindControl(std::wstring_view name);

// Screen units for a length in twips at the given dots per inch (15 twips a pixel at 96).
int TwipsToPixels(int twips, int dpi);

// The caption the load step sets; the revision keeps the leading space of a
// number turned into text, so two spaces follow "build".
std::wstring FormCaption(unsigned major, unsigned minor, unsigned revision);

}  // namespace lineprobe
