// The desktop services against stand-ins of the programs SDL starts (see sandbox.h): the file
// dialog's texts and answers, opening files and addresses, and the size fallbacks.
#include "support/temp_dir.h"
#include "ui/sandbox.h"

#include "app/app.h"
#include "ui/desktop.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class UiDialog : public ::testing::Test {
protected:
    void SetUp() override { setDialogAnswer("", 1); }
    void TearDown() override { setDialogAnswer("", 1); }
    static void answer(const std::string& printed, int status) { setDialogAnswer(printed, status); }
    static std::vector<std::string> askedWith() { return lastDialogArgs(); }
};

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_F(UiDialog, ReturnsTheChosenFileAfterTheDialogClosed) {
    const std::string chosen = "/home/ann/Jeux été/Quillmere (USA).iso";
    answer(chosen + "\n", 0);
    EXPECT_EQ(ui::openDiscImageDialog(nullptr, "Pick it", "Disc images", "All files"), chosen);
    const std::vector<std::string> args = askedWith();
    EXPECT_TRUE(contains(args, "--file-selection"));
    EXPECT_FALSE(contains(args, "--multiple"));
    EXPECT_TRUE(contains(args, "Pick it")) << "the title";
    EXPECT_TRUE(
        contains(args, "--file-filter=Disc images (*.iso, *.bin, *.cue) | *.iso *.bin *.cue"));
    EXPECT_TRUE(contains(args, "--file-filter=All files (*.*) | *.*"));
}

TEST_F(UiDialog, CancelAndFailureGiveEmptyText) {
    answer("", 1); // cancelled: zenity prints nothing
    EXPECT_EQ(ui::openDiscImageDialog(nullptr, "t", "i", "a"), "");
    EXPECT_FALSE(askedWith().empty()) << "the dialog did run";
    answer("/some/file.iso\n", 5); // failed
    EXPECT_EQ(ui::openDiscImageDialog(nullptr, "t", "i", "a"), "");
}

TEST_F(UiDialog, ChooseDiscAsksInTheInterfaceLanguage) {
    App app;
    ui::french = true;
    answer("", 1);
    app.chooseDisc();
    ui::french = false;
    EXPECT_EQ(app.discUnderCheck, "") << "a cancel starts nothing";
    const std::vector<std::string> args = askedWith();
    EXPECT_TRUE(contains(args, "Choisir l'image disque de Quillmere"));
    EXPECT_TRUE(
        contains(args, "--file-filter=Images disque (*.iso, *.bin, *.cue) | *.iso *.bin *.cue"));
    EXPECT_TRUE(contains(args, "--file-filter=Tous les fichiers (*.*) | *.*"));

    answer("", 1);
    app.chooseDisc();
    EXPECT_TRUE(contains(askedWith(), "Select your Quillmere disc image"));
    EXPECT_TRUE(contains(askedWith(), "--file-filter=All files (*.*) | *.*"));
}

TEST_F(UiDialog, AChosenFileGoesToTheDiscCheck) {
    TempDir source;
    App app;
    app.pythonExe = "/bin/true"; // stands in for the kit's interpreter: the check only has to start
    app.sourceDir = source.path();
    answer("/discs/Quillmere (USA).iso\n", 0);
    app.chooseDisc();
    EXPECT_TRUE(app.checkingDisc);
    EXPECT_EQ(app.discUnderCheck, "/discs/Quillmere (USA).iso");
}

// --- opening things ------------------------------------------------------------------------------

// Waits (within a generous bound) until the opener stand-in has written count addresses.
std::vector<std::string> openedAddresses(size_t count) {
    const std::string log = fakeDesktopDir() + "/opened";
    for (int i = 0; i < 1000; ++i) {
        std::vector<std::string> got = lines(readBytes(log));
        if (got.size() >= count) return got;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines(readBytes(log));
}

TEST(UiShellOpen, OpensExistingPathsAsFileAddressesAndWebAddressesAsTheyAre) {
    std::filesystem::remove(fakeDesktopDir() + "/opened");
    TempDir dir;
    const std::string folder = dir.file("logs et crash #1");
    std::filesystem::create_directory(folder);

    ui::shellOpen(dir.file("no such folder"));
    ui::shellOpen("");
    ui::shellOpen("https://tallyglass.github.io/?a=b c");
    ui::shellOpen(folder);

    std::vector<std::string> opened = openedAddresses(2);
    std::sort(opened.begin(), opened.end());
    const std::vector<std::string> expected = {"file://" + dir.path() + "/logs%20et%20crash%20%231",
                                               "https://tallyglass.github.io/?a=b c"};
    EXPECT_EQ(opened, expected);
}

// --- sizes ---------------------------------------------------------------------------------------

TEST(UiSizes, FallBackWithoutAWindowOrADisplay) {
    const ui::WindowSize window = ui::windowSize();
    EXPECT_EQ(window.width, 0);
    EXPECT_EQ(window.height, 0);
    EXPECT_EQ(ui::nativeWindowHandle(), nullptr);
    const ui::WindowSize desktop = ui::desktopSize();
    EXPECT_EQ(desktop.width, 1920);
    EXPECT_EQ(desktop.height, 1080);
}

} // namespace
