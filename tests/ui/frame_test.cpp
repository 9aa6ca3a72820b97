// The frame used as a user would: with the keyboard (Tab, arrows, Enter, Space, Escape) and the
// mouse, headless. Settings reach the real files of a temporary user folder.
#include "support/temp_dir.h"
#include "ui/harness.h"
#include "ui/sandbox.h"

#include "app/app.h"
#include "app/identity.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace {

const char* const kChangelog =
    "### Added\n- A **new** `kit`, with a [guide](https://x.invalid/g).\n";

class UiFrame : public ::testing::Test {
public:
    void SetUp() override {
        ui::french = false;
        app.launcherIni = user.file("launcher.ini");
        app.videoIni = user.file("video.ini");
        setDialogAnswer("", 1);
    }
    void TearDown() override {
        ui::french = false;
        EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
    }

    static ImGuiID root(const char* label) { return Headless::idIn("##root", label); }
    std::set<ImGuiID> reachable() {
        std::set<ImGuiID> ids;
        for (const Headless::Item& item : ui.tabThrough(app))
            ids.insert(item.id);
        return ids;
    }
    bool has(const char* text) const { return ui.texts().find(text) != std::string::npos; }
    // Tabs to the item and presses key on it.
    void operate(ImGuiID id, ImGuiKey key = ImGuiKey_Enter) {
        ASSERT_TRUE(ui.focus(app, id));
        ui.press(app, key);
    }
    LauncherSettings savedLauncher() const {
        LauncherSettings s;
        EXPECT_TRUE(loadLauncherSettings(app.launcherIni, s));
        return s;
    }
    VideoSettings savedVideo() const {
        VideoSettings v;
        EXPECT_TRUE(loadVideoSettings(app.videoIni, v));
        return v;
    }
    void ready(int tab) {
        app.screen = Screen::Ready;
        app.tab = tab;
    }

    TempDir user;
    App app;
    Headless ui{1.0f};
};

// --- header --------------------------------------------------------------------------------------

TEST_F(UiFrame, LanguagePillBeforeADiscIsAcceptedAndTabsAfter) {
    ui.frames(app, 2);
    std::set<ImGuiID> ids = reachable();
    EXPECT_TRUE(ids.count(root("Français##lang")));
    EXPECT_FALSE(ids.count(root("Play##tab0")));

    ready(0);
    ui.frames(app, 2);
    ids = reachable();
    EXPECT_FALSE(ids.count(root("Français##lang")));
    for (const char* tab : {"Play##tab0", "Settings##tab1", "Maintenance##tab2"})
        EXPECT_TRUE(ids.count(root(tab))) << tab;
}

TEST_F(UiFrame, TabsFollowClicksAndEscapeReturnsToPlay) {
    ready(0);
    ui.frames(app, 2);
    for (const Headless::Item& item : ui.tabThrough(app))
        if (item.id == root("Settings##tab1")) ui.click(app, item.rect.GetCenter());
    EXPECT_EQ(app.tab, 1);
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(app.tab, 0);

    operate(root("Maintenance##tab2"), ImGuiKey_Space);
    EXPECT_EQ(app.tab, 2);
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(app.tab, 0);
}

TEST_F(UiFrame, LanguagePillSwitchesEveryTextOnTheNextFrame) {
    ui.frames(app, 2);
    EXPECT_TRUE(has("This launcher turns your own copy of Quillmere into a PC game."));
    operate(root("Français##lang"));
    EXPECT_TRUE(ui::french);
    EXPECT_EQ(savedLauncher().language, "fr");
    ui.frame(app);
    EXPECT_TRUE(has("Ce lanceur transforme votre propre copie de Quillmere en jeu PC."));
    EXPECT_TRUE(
        has("Il vous faut une image disque de la version américaine (SQMU-40420) : un .iso"));
    EXPECT_FALSE(has("This launcher"));
    EXPECT_FALSE(has("You need a disc image"));
    EXPECT_TRUE(reachable().count(root("English##lang")));
}

// --- welcome and missing files -------------------------------------------------------------------

TEST_F(UiFrame, WelcomeButtonHasTheFocusAndEnterOpensTheDialog) {
    ui.frames(app, 2);
    const ImGuiID select = root("Select your disc image…");
    EXPECT_EQ(Headless::focusId(), select);
    ui.press(app, ImGuiKey_Tab); // shows the focus where it is
    EXPECT_EQ(Headless::focusId(), select);
    ui.press(app, ImGuiKey_Enter);
    const std::vector<std::string> args = lastDialogArgs();
    EXPECT_NE(std::find(args.begin(), args.end(), "Select your Quillmere disc image"), args.end());
}

TEST_F(UiFrame, WelcomeWhileCheckingHidesTheButtonAndFocusReturnsAfter) {
    app.checkingDisc = true;
    app.discUnderCheck = "/discs/USA/Quillmere (USA).iso";
    ui.frames(app, 2);
    EXPECT_TRUE(has("Checking the disc…"));
    EXPECT_TRUE(has("Quillmere (USA).iso"));
    EXPECT_FALSE(has("/discs/USA"));
    EXPECT_FALSE(reachable().count(root("Select your disc image…")));

    app.checkingDisc = false;
    ui.frames(app, 2);
    EXPECT_EQ(Headless::focusId(), root("Select your disc image…"));
}

TEST_F(UiFrame, MissingFilesScreenNamesTheItemAndHasNoButtons) {
    app.screen = Screen::Missing;
    app.missingItem = "kit/python.exe";
    app.releaseDir = "/opt/quillmere";
    ui::french = true;
    ui.frames(app, 2);
    EXPECT_TRUE(has("Le lanceur ne trouve pas kit/python.exe à côté de lui."));
    EXPECT_TRUE(has("/opt/quillmere"));
    const std::set<ImGuiID> expected = {root("English##lang"), root("Tallyglass ›##site")};
    EXPECT_EQ(reachable(), expected);
}

// --- settings ------------------------------------------------------------------------------------

TEST_F(UiFrame, EverySettingsPillWorksFromTheKeyboardAndIsSavedAtOnce) {
    ready(1);
    ui.frames(app, 2);
    const struct {
        const char* label;
        ImGuiKey key;
        std::function<void(UiFrame&)> check;
    } steps[] = {
        {"Full screen##mode1", ImGuiKey_Enter,
         [](UiFrame& f) { EXPECT_EQ(f.savedVideo().mode, "fullscreen"); }},
        {"Borderless window##mode2", ImGuiKey_Space,
         [](UiFrame& f) {
             EXPECT_EQ(f.savedVideo().mode, "borderless");
             f.ui.frame(f.app);
             EXPECT_TRUE(f.has("The monitor's own size."));
         }},
        {"Windowed##mode0", ImGuiKey_Enter,
         [](UiFrame& f) { EXPECT_EQ(f.savedVideo().mode, "windowed"); }},
        {"Background motion: on##motion", ImGuiKey_Enter,
         [](UiFrame& f) {
             EXPECT_FALSE(f.savedLauncher().motion);
             // The pill's label, and so its identifier, changed; the focus stayed on it.
             EXPECT_EQ(Headless::focusId(), root("Background motion: off##motion"));
         }},
        {"Check for updates at start: on##updates", ImGuiKey_Space,
         [](UiFrame& f) { EXPECT_FALSE(f.savedLauncher().update_check); }},
        {"Français##fr", ImGuiKey_Enter,
         [](UiFrame& f) {
             EXPECT_TRUE(ui::french);
             EXPECT_EQ(f.savedLauncher().language, "fr");
         }},
        {"English##en", ImGuiKey_Enter,
         [](UiFrame& f) {
             EXPECT_FALSE(ui::french);
             EXPECT_EQ(f.savedLauncher().language, "en");
         }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.label);
        operate(root(step.label), step.key);
        step.check(*this);
    }
    EXPECT_EQ(app.tab, 1);
    ui.frame(app);
    EXPECT_TRUE(has("Saved. The game uses it the next time it starts."));
}

TEST_F(UiFrame, ArrowsMoveAlongTheModePills) {
    ready(1);
    ui.frames(app, 2);
    ASSERT_TRUE(ui.focus(app, root("Windowed##mode0")));
    ui.press(app, ImGuiKey_RightArrow);
    EXPECT_EQ(Headless::focusId(), root("Full screen##mode1"));
    ui.press(app, ImGuiKey_RightArrow);
    EXPECT_EQ(Headless::focusId(), root("Borderless window##mode2"));
    ui.press(app, ImGuiKey_LeftArrow);
    EXPECT_EQ(Headless::focusId(), root("Full screen##mode1"));
}

TEST_F(UiFrame, SizeListByKeyboardSavesTheChoiceAndTheDefaultAs640x448) {
    ready(1);
    ui.frames(app, 2);
    EXPECT_FALSE(has("Saved."));
    operate(root("##resolution"));
    ASSERT_NE(Headless::focusWindow().find("##Combo"), std::string::npos);
    ui.press(app, ImGuiKey_DownArrow); // from the game default to the smallest size
    ui.press(app, ImGuiKey_Enter);
    EXPECT_EQ(app.video.width, 640);
    EXPECT_EQ(app.video.height, 480);
    EXPECT_EQ(savedVideo().width, 640);
    EXPECT_EQ(savedVideo().height, 480);
    EXPECT_TRUE(app.video.exists);

    operate(root("##resolution"));
    ui.press(app, ImGuiKey_UpArrow); // from the chosen size back to the default
    ui.press(app, ImGuiKey_Enter);
    EXPECT_EQ(app.video.width, 0);
    EXPECT_EQ(app.video.height, 0);
    EXPECT_EQ(savedVideo().width, 640);
    EXPECT_EQ(savedVideo().height, 448);
    ui.frame(app);
    EXPECT_TRUE(has("Game default (640 × 448)"));
}

TEST_F(UiFrame, StoredSizeOutsideTheListShowsInThePreview) {
    ready(1);
    app.video.width = 1000;
    app.video.height = 700;
    ui.frames(app, 2);
    EXPECT_TRUE(has("1000 × 700"));
    app.video.mode = "borderless";
    ui.frame(app);
    EXPECT_FALSE(has("1000 × 700"));
    EXPECT_EQ(app.video.width, 1000) << "borderless keeps the stored size";
}

TEST_F(UiFrame, EscapeClosesTheOpenListBeforeLeavingTheTab) {
    ready(1);
    ui.frames(app, 2);
    operate(root("##resolution"));
    ASSERT_NE(Headless::focusWindow().find("##Combo"), std::string::npos);
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(app.tab, 1);
    EXPECT_EQ(Headless::focusWindow(), "##root");
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(app.tab, 0);
}

// --- footer --------------------------------------------------------------------------------------

TEST_F(UiFrame, VersionLineMarksAnAvailableUpdate) {
    ready(0);
    const std::string version =
        std::string("ZO_Duzoru 0.6.1  ·  ") + std::string(launcherCommit()).substr(0, 10);
    ui.frames(app, 2);
    EXPECT_TRUE(has(version.c_str()));
    EXPECT_FALSE(has("update available"));
    ui.update.state = 3;
    ui.frame(app);
    EXPECT_TRUE(has((version + "  ·  update available").c_str()));
    ui::french = true;
    ui.frame(app);
    EXPECT_TRUE(has((version + "  ·  mise à jour disponible").c_str()));
}

TEST_F(UiFrame, WhatsNewLinkOnlyWithAText) {
    ready(1);
    ui.frames(app, 2);
    EXPECT_FALSE(reachable().count(root("What's new ›##whatsnew-footer")));
    app.whatsNewText = kChangelog;
    ui.frame(app);
    EXPECT_TRUE(reachable().count(root("What's new ›##whatsnew-footer")));
}

// --- modal windows -------------------------------------------------------------------------------

TEST_F(UiFrame, WhatsNewOpensFromTheFooterAndEscapeClosesIt) {
    ready(1);
    app.whatsNewText = kChangelog;
    app.whatsNewVersion = "0.6.1";
    ui.frames(app, 2);
    operate(root("What's new ›##whatsnew-footer"));
    ui.frame(app);
    EXPECT_FALSE(app.showWhatsNew);
    EXPECT_EQ(Headless::focusWindow(), "##whatsnew");
    EXPECT_TRUE(has("Added"));
    EXPECT_TRUE(has("• A new kit, with a guide."));
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(app.tab, 1) << "Escape closed the window, not the tab";
    EXPECT_NE(Headless::focusWindow(), "##whatsnew");
    EXPECT_FALSE(ImGui::IsPopupOpen("##whatsnew", ImGuiPopupFlags_AnyPopupId));

    app.showWhatsNew = true;
    ui.frames(app, 2);
    ASSERT_EQ(Headless::focusWindow(), "##whatsnew");
    operate(Headless::idIn("##whatsnew", "Close"));
    EXPECT_NE(Headless::focusWindow(), "##whatsnew");
}

TEST_F(UiFrame, QuitConfirmationKeepGoingIsTheDefaultAndStopQuits) {
    app.screen = Screen::Preparing;
    app.tab = 1;
    app.building = true;
    app.quitAsked = true;
    ui.frames(app, 2);
    EXPECT_FALSE(app.quitAsked);
    ASSERT_EQ(Headless::focusWindow(), "##quit");
    EXPECT_EQ(Headless::focusId(), Headless::idIn("##quit", "Keep going"));
    ui.press(app, ImGuiKey_Escape);
    EXPECT_EQ(Headless::focusWindow(), "##quit") << "Escape does not answer the question";
    EXPECT_EQ(app.tab, 1);
    operate(Headless::idIn("##quit", "Keep going"));
    EXPECT_NE(Headless::focusWindow(), "##quit");
    EXPECT_FALSE(app.quitNow);
    EXPECT_TRUE(app.building);

    ui::french = true;
    app.quitAsked = true;
    ui.frames(app, 2);
    operate(Headless::idIn("##quit", "Arrêter et quitter"));
    EXPECT_TRUE(app.quitNow);
}

// --- gamepad -------------------------------------------------------------------------------------

// A gamepad as the SDL back end reports one: its buttons arrive as Dear ImGui's gamepad keys.
class UiGamepad : public UiFrame {
public:
    void SetUp() override {
        UiFrame::SetUp();
        ImGui::GetIO().BackendFlags |= ImGuiBackendFlags_HasGamepad;
    }
};

TEST_F(UiGamepad, ShouldersStepThroughTheTabsWithTheFocusAndBGoesBackToPlay) {
    ready(0);
    ui.frames(app, 2);
    const struct {
        ImGuiKey key;
        int tab;
        const char* focus; // "" when the tab's own default button takes the focus
    } steps[] = {
        {ImGuiKey_GamepadR1, 1, "Settings##tab1"},
        {ImGuiKey_GamepadR1, 2, "Maintenance##tab2"},
        {ImGuiKey_GamepadR1, 0, ""}, // round to the first tab
        {ImGuiKey_GamepadL1, 2, "Maintenance##tab2"},
        {ImGuiKey_GamepadL1, 1, "Settings##tab1"},
        {ImGuiKey_GamepadFaceRight, 0, ""},
    };
    for (const auto& s : steps) {
        ui.press(app, s.key);
        EXPECT_EQ(app.tab, s.tab) << int(s.key);
        if (*s.focus) {
            EXPECT_EQ(Headless::focusId(), root(s.focus));
            EXPECT_TRUE(GImGui->NavCursorVisible);
        }
    }
}

TEST_F(UiGamepad, BClosesWhatsNewAndKeepsGoingOnTheQuitQuestion) {
    app.whatsNewText = kChangelog;
    app.whatsNewVersion = "0.6.1";
    ready(1);
    app.showWhatsNew = true;
    ui.frames(app, 2);
    ASSERT_EQ(Headless::focusWindow(), "##whatsnew");
    ui.press(app, ImGuiKey_GamepadR1);
    EXPECT_EQ(app.tab, 1) << "the shoulders do not reach under an open window";
    ui.press(app, ImGuiKey_GamepadFaceRight);
    EXPECT_FALSE(ImGui::IsPopupOpen("##whatsnew", ImGuiPopupFlags_AnyPopupId));
    EXPECT_EQ(app.tab, 1) << "B closed the window, not the tab";

    app.screen = Screen::Preparing;
    app.building = true;
    app.quitAsked = true;
    ui.frames(app, 2);
    ASSERT_EQ(Headless::focusWindow(), "##quit");
    ui.press(app, ImGuiKey_GamepadFaceRight);
    EXPECT_NE(Headless::focusWindow(), "##quit");
    EXPECT_FALSE(app.quitNow);
    EXPECT_EQ(app.tab, 1);
}

TEST_F(UiGamepad, DpadAndAChooseASizeAndTheWindowMode) {
    ready(0);
    ui.frames(app, 2);
    ui.press(app, ImGuiKey_GamepadR1);
    ASSERT_EQ(Headless::focusId(), root("Settings##tab1"));
    // Moves until the item is reached; false when the D-pad never gets there.
    auto moveTo = [&](ImGuiKey key, ImGuiID id) {
        for (int i = 0; i < 30 && Headless::focusId() != id; ++i)
            ui.press(app, key);
        return Headless::focusId() == id;
    };
    ASSERT_TRUE(moveTo(ImGuiKey_GamepadDpadDown, root("##resolution")));
    ui.press(app, ImGuiKey_GamepadFaceDown);
    ASSERT_NE(Headless::focusWindow().find("##Combo"), std::string::npos);
    ui.press(app, ImGuiKey_GamepadDpadDown); // from the game default to the smallest size
    ui.press(app, ImGuiKey_GamepadFaceDown);
    EXPECT_EQ(savedVideo().width, 640);
    EXPECT_EQ(savedVideo().height, 480);
    EXPECT_EQ(app.tab, 1) << "choosing closes the list, not the tab";

    ASSERT_TRUE(moveTo(ImGuiKey_GamepadDpadUp, root("Windowed##mode0")));
    ASSERT_TRUE(moveTo(ImGuiKey_GamepadDpadRight, root("Borderless window##mode2")));
    ui.press(app, ImGuiKey_GamepadFaceDown);
    EXPECT_EQ(savedVideo().mode, "borderless");
    EXPECT_EQ(savedVideo().width, 640);

    ui.press(app, ImGuiKey_GamepadFaceRight);
    EXPECT_EQ(app.tab, 0);
}

} // namespace
