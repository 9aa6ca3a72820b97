// The interface's rules that need no frame: window sizes, background geometry, colours, labels,
// the fixed-width font search, file addresses.
#include "support/temp_dir.h"

#include "plat/desktop.h"
#include "ui/background.h"
#include "ui/screens.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

using Sizes = std::vector<std::pair<int32_t, int32_t>>;

// --- window sizes --------------------------------------------------------------------------------

TEST(UiResolutionChoices, FollowTheDesktop) {
    struct Case {
        int w, h;
        Sizes expected;
    };
    const Case cases[] = {
        {1920,
         1080,
         {{640, 480},
          {800, 600},
          {1024, 768},
          {1280, 720},
          {1280, 960},
          {1366, 768},
          {1440, 1080},
          {1600, 900},
          {1920, 1080}}},
        // 1280 × 960 is taller than the desktop.
        {1366, 768, {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1366, 768}}},
        // A desktop size that is no candidate is added, in its sorted place.
        {2560,
         1080,
         {{640, 480},
          {800, 600},
          {1024, 768},
          {1280, 720},
          {1280, 960},
          {1366, 768},
          {1440, 1080},
          {1600, 900},
          {1920, 1080},
          {2560, 1080}}},
        // Unknown desktop: every candidate.
        {0,
         0,
         {{640, 480},
          {800, 600},
          {1024, 768},
          {1280, 720},
          {1280, 960},
          {1366, 768},
          {1440, 1080},
          {1600, 900},
          {1600, 1200},
          {1920, 1080},
          {1920, 1440},
          {2560, 1440},
          {2880, 2160},
          {3200, 1800},
          {3840, 2160}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolutionChoices(c.w, c.h), c.expected) << c.w << " x " << c.h;
}

// --- background ----------------------------------------------------------------------------------

TEST(UiBackground, GridColourAtTheBottomCentre) {
    EXPECT_EQ(ui::backgroundGridColour(30, 24), (ui::Rgb8{13, 34, 98}));
}

TEST(UiBackground, GridIsSymmetricLeftToRight) {
    for (int r = 0; r < ui::kBackgroundRows; ++r)
        for (int j = 0; j < ui::kBackgroundColumns; ++j)
            ASSERT_EQ(ui::backgroundGridColour(r, j), ui::backgroundGridColour(r, 48 - j))
                << "row " << r << " column " << j;
}

TEST(UiBackground, ScanLinesEveryThirdPixel) {
    const struct {
        float height;
        int lines;
    } cases[] = {{760, 254}, {759, 253}, {761, 254}, {763, 255},   {1, 1},
                 {3, 1},     {4, 2},     {0, 0},     {760.9f, 254}};
    for (const auto& c : cases)
        EXPECT_EQ(ui::scanLineCount(c.height), c.lines) << c.height;
}

bool sameBar(const ui::BarGeometry& a, const ui::BarGeometry& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(UiBackground, MotionOffFreezesTheBars) {
    for (int i = 0; i < ui::kBackgroundBars; ++i) {
        EXPECT_TRUE(sameBar(ui::backgroundBar(i, 0, false, 1120, 760),
                            ui::backgroundBar(i, 37.5, false, 1120, 760)))
            << i;
        // With motion on, time zero is the frozen picture.
        EXPECT_TRUE(sameBar(ui::backgroundBar(i, 0, true, 1120, 760),
                            ui::backgroundBar(i, 0, false, 1120, 760)))
            << i;
    }
    EXPECT_FALSE(sameBar(ui::backgroundBar(3, 5, true, 1120, 760),
                         ui::backgroundBar(3, 0, true, 1120, 760)));
}

TEST(UiBackground, BarsStandOnTheBottomEdgeTallestInTheMiddle) {
    for (double t : {0.0, 4.0, 9.5}) {
        float previousX = -1;
        for (int i = 0; i < ui::kBackgroundBars; ++i) {
            ui::BarGeometry b = ui::backgroundBar(i, t, true, 1120, 760);
            EXPECT_GT(b.x0, previousX) << "bars run left to right";
            previousX = b.x0;
            EXPECT_NEAR(b.top + b.hb, 760, 1.0f) << i;
            EXPECT_GE(b.pulse, 0.7f - 1e-6f);
            EXPECT_LE(b.pulse, 1.0f + 1e-6f);
            EXPECT_EQ(b.x0, std::floor(b.x0));
        }
    }
    const float middle = ui::backgroundBar(7, 0, false, 1120, 760).hb;
    EXPECT_GT(middle, ui::backgroundBar(0, 0, false, 1120, 760).hb);
    EXPECT_GT(middle, ui::backgroundBar(14, 0, false, 1120, 760).hb);
}

// The rows above barsHighestRow are kept in a layer drawn once: no bar, glow or antialiased fringe
// may ever reach them, and the bound is close enough to keep most of the window still.
TEST(UiBackground, BarsNeverReachTheStillRows) {
    const struct {
        float width, height, scale;
    } cases[] = {{1120, 760, 1}, {2240, 1520, 2}, {1880, 1000, 2},  {640, 480, 1},
                 {990, 690, 1},  {3360, 2280, 3}, {1121, 761, 1.5f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.scale);
        const float row = ui::barsHighestRow(c.height, c.scale);
        EXPECT_EQ(row, std::floor(row));
        EXPECT_GT(row, c.height / 2);
        float highest = c.height;
        for (int frame = 0; frame < 40 * 60; ++frame)
            for (int i = 0; i < ui::kBackgroundBars; ++i) {
                const ui::BarGeometry b =
                    ui::backgroundBar(i, frame / 60.0, true, c.width, c.height);
                highest = std::min({highest, b.top, b.glowTop - ui::barGlowReach(c.scale) - 0.5f});
            }
        EXPECT_GE(highest, row);
        EXPECT_LT(highest - row, 4.0f) << "a bound that loose keeps less still than it could";
    }
}

TEST(UiBackground, ScanLinesAboveARowLieWhollyAboveIt) {
    const struct {
        float row;
        int first;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {477, 159}, {478, 160}};
    for (const auto& c : cases)
        EXPECT_EQ(ui::firstScanLineFrom(c.row), c.first) << c.row;
}

// --- colours and labels --------------------------------------------------------------------------

TEST(UiColours, WithAlphaClampsAndTruncates) {
    const struct {
        float alpha;
        unsigned byte;
    } cases[] = {{1.0f, 255}, {0.5f, 127}, {0.999f, 254}, {0.0f, 0},
                 {-0.3f, 0},  {7.0f, 255}, {0.055f, 14}};
    for (const auto& c : cases)
        EXPECT_EQ(ui::withAlpha(0xFF8001, c.alpha), IM_COL32(0xFF, 0x80, 0x01, c.byte)) << c.alpha;
    // ImGui's packing: red in the low byte.
    EXPECT_EQ(ui::withAlphaByte(0x112233, 0x44), 0x44332211u);
}

TEST(UiColours, LabelShowsTheTextBeforeTheHashes) {
    const struct {
        const char* label;
        const char* visible;
    } cases[] = {{"Play##play", "Play"},     {"Tallyglass ›##site", "Tallyglass ›"}, {"##root", ""},
                 {"No suffix", "No suffix"}, {"C# and F##x##y", "C# and F"},         {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(std::string(c.label, ui::labelEnd(c.label)), c.visible) << c.label;
}

// --- fixed-width font ----------------------------------------------------------------------------

TEST(UiMonoFont, NamePreferenceBeatsFolderOrderAndSubFoldersAreSearched) {
    TempDir root;
    namespace fs = std::filesystem;
    const std::string user = root.file("user"), system = root.file("system");
    fs::create_directories(user + "/misc");
    fs::create_directories(system + "/truetype/dejavu");
    fs::create_directories(system + "/truetype/liberation");
    TempDir::writeTo(user + "/misc/NotoSansMono-Regular.ttf", "x");
    TempDir::writeTo(system + "/truetype/liberation/LiberationMono-Regular.ttf", "x");
    TempDir::writeTo(system + "/truetype/dejavu/DejaVuSansMono.ttf", "x");
    TempDir::writeTo(system + "/truetype/dejavu/DejaVuSans.ttf", "x");
    fs::create_directories(system + "/truetype/dejavu/DejaVuSansMono-Bold.ttf"); // a folder

    const std::vector<std::string> found =
        ui::findFontFiles({user, system}, ui::monoFontNames(), false);
    const std::vector<std::string> expected = {
        system + "/truetype/dejavu/DejaVuSansMono.ttf",
        system + "/truetype/liberation/LiberationMono-Regular.ttf",
        user + "/misc/NotoSansMono-Regular.ttf"};
    EXPECT_EQ(found, expected);
    // Flat: only the folders themselves.
    EXPECT_TRUE(ui::findFontFiles({user, system}, ui::monoFontNames(), true).empty());
}

TEST(UiMonoFont, SameNameInTwoFoldersKeepsFolderOrder) {
    TempDir a, b;
    TempDir::writeTo(a.file("CascadiaCode.ttf"), "x");
    TempDir::writeTo(b.file("CascadiaCode.ttf"), "x");
    TempDir::writeTo(b.file("CascadiaMono.ttf"), "x");
    const std::vector<std::string> expected = {
        b.file("CascadiaMono.ttf"), a.file("CascadiaCode.ttf"), b.file("CascadiaCode.ttf")};
    EXPECT_EQ(ui::findFontFiles({a.path(), b.path(), a.file("missing")}, ui::monoFontNames(), true),
              expected);
}

// --- file addresses ------------------------------------------------------------------------------

TEST(UiDesktop, FileAddressesAreEscaped) {
    const struct {
        const char* path;
        const char* url;
    } cases[] = {
        {"/home/ann/ZO_Duzoru/logs", "file:///home/ann/ZO_Duzoru/logs"},
        {"/tmp/a b#c%d?e", "file:///tmp/a%20b%23c%25d%3Fe"},
        {"/home/ann/Jeux/été/クイル.iso",
         "file:///home/ann/Jeux/%C3%A9t%C3%A9/%E3%82%AF%E3%82%A4%E3%83%AB.iso"},
        {"/x/~y_z-1.2", "file:///x/~y_z-1.2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plat::fileUrl(c.path), c.url);
}

TEST(UiDesktop, WebAddressesAreToldFromPaths) {
    const struct {
        const char* target;
        bool web;
    } cases[] = {{"https://tallyglass.github.io/", true},
                 {"http://localhost:8080/x", true},
                 {"svn+ssh://host/repo", true},
                 {"/home/ann/file", false},
                 {"C://odd", false},
                 {"relative/https://x", false},
                 {"://nothing", false},
                 {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(plat::isWebAddress(c.target), c.web) << c.target;
}

} // namespace
