// The dialog's layout data: nesting, tab order, twips conversion, caption.
#include <gtest/gtest.h>

#include "FormLayout.h"

namespace lineprobe {
namespace {

struct ClientPosition {
    const wchar_t* name;
    int left, top;  // twips, in the dialog's client area
};

// The positions as seen in the client area; the table in
// the code holds them relative to each control's container.
TEST(FormLayout, ContainersAddUpToTheClientAreaPositions) {
    const ClientPosition cases[] = {
        {L"btOK", 5640, 240},         {L"txtTimeout", 1680, 3720},     {L"Label4", 240, 3780},
        {L"Label5", 2880, 3780},      {L"Frame1", 120, 120},           {L"Label1", 240, 480},
        {L"txtlogfilename", 1440, 480}, {L"Frame2", 480, 960},         {L"Label3", 600, 1380},
        {L"txtUserName", 1920, 1320}, {L"Label6", 600, 1800},          {L"txtPassword", 1920, 1740},
        {L"Label", 240, 2640},        {L"txtUP", 2520, 2640},          {L"Label2", 240, 3000},
        {L"txtDown", 2760, 3000},     {L"Label7", 240, 3780},          {L"txtMaxAge", 1680, 3720},
        {L"Label8", 2880, 3780},      {L"btTest", 5640, 720},
    };
    ASSERT_EQ(std::size(cases), kFrmmainControls.size());
    for (const auto& c : cases) {
        const auto index = FindControl(c.name);
        ASSERT_TRUE(index) << testing::PrintToString(std::wstring(c.name));
        const TwipsRect rect = ClientRectTwips(kFrmmainControls[*index]);
        EXPECT_EQ(rect.left, c.left) << testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(rect.top, c.top) << testing::PrintToString(std::wstring(c.name));
    }
}

struct Edge {
    const wchar_t* name;
    int right, bottom;  // client-area twips; 0: not checked
};

TEST(FormLayout, RowsEndWhereTheDesignSays) {
    const Edge cases[] = {
        {L"Frame1", 5535, 3615},     {L"txtlogfilename", 5415, 0}, {L"Frame2", 5415, 2415},
        {L"txtUserName", 5295, 0},   {L"txtPassword", 5295, 0},    {L"txtUP", 5175, 0},
        {L"txtDown", 5175, 0},       {L"btOK", 6375, 0},           {L"Label5", 0, 4035},
        {L"Label8", 5535, 4035},     {L"btTest", 6375, 1095},
    };
    for (const auto& c : cases) {
        const TwipsRect rect = ClientRectTwips(kFrmmainControls[FindControl(c.name).value()]);
        if (c.right) {
            EXPECT_EQ(rect.left + rect.width, c.right) << testing::PrintToString(std::wstring(c.name));
        }
        if (c.bottom) {
            EXPECT_EQ(rect.top + rect.height, c.bottom) << testing::PrintToString(std::wstring(c.name));
        }
    }
}

TEST(FormLayout, EveryControlLiesInsideTheClientArea) {
    for (const auto& control : kFrmmainControls) {
        const TwipsRect rect = ClientRectTwips(control);
        EXPECT_GE(rect.left, 0);
        EXPECT_GE(rect.top, 0);
        EXPECT_LE(rect.left + rect.width, kFrmmain.clientWidth) << testing::PrintToString(std::wstring(control.name));
        EXPECT_LE(rect.top + rect.height, kFrmmain.clientHeight) << testing::PrintToString(std::wstring(control.name));
    }
}

// The window creates its controls in table order, and the dialog manager's
// Tab follows creation order: the table must be sorted by tab index.
TEST(FormLayout, TableIsInTabOrder) {
    for (std::size_t i = 1; i < kFrmmainControls.size(); ++i) {
        EXPECT_LT(kFrmmainControls[i - 1].tabIndex, kFrmmainControls[i].tabIndex)
            << testing::PrintToString(std::wstring(kFrmmainControls[i].name));
    }
}

TEST(FormLayout, ContainersComeBeforeTheirContents) {
    for (std::size_t i = 0; i < kFrmmainControls.size(); ++i) {
        if (kFrmmainControls[i].container.empty()) continue;
        const auto container = FindControl(kFrmmainControls[i].container);
        ASSERT_TRUE(container);
        EXPECT_LT(*container, i);
        EXPECT_EQ(kFrmmainControls[*container].kind, ControlKind::Frame);
    }
}

TEST(FormLayout, UnknownNamesAreNotFound) {
    EXPECT_FALSE(FindControl(L""));
    EXPECT_FALSE(FindControl(L"txtuserName"));  // names match exactly
    EXPECT_FALSE(FindControl(L"frmmain"));
}

struct TwipsCase {
    int twips, dpi, pixels;
};

TEST(TwipsToPixels, FifteenTwipsAPixelAt96Dpi) {
    const TwipsCase cases[] = {
        {0, 96, 0},       {15, 96, 1},       {5640, 96, 376},   {6585, 96, 439},  {4155, 96, 277},
        {7, 96, 0},       {8, 96, 1},        {1440, 120, 120},  {1440, 144, 144}, {5640, 120, 470},
        {735, 144, 74},   {-15, 96, -1},     {2000000, 96, 133333},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
    }
}

struct CaptionCase {
    unsigned major, minor, revision;
    const wchar_t* caption;
};

TEST(FormCaption, TwoSpacesBeforeTheRevision) {
    const CaptionCase cases[] = {
        {1, 0, 15, L"Word in First Line: External COM check (version 1.0 build  15)"},
        {1, 0, 0, L"Word in First Line: External COM check (version 1.0 build  0)"},
        {12, 34, 65535, L"Word in First Line: External COM check (version 12.34 build  65535)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormCaption(c.major, c.minor, c.revision), c.caption);
    }
}

}  // namespace
}  // namespace lineprobe
