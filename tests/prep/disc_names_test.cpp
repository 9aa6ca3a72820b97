// The disc check's message comes from what the build script found in the image, never from the
// words of the image's own path, which the script quotes in its reasons ("the disc image
// /home/me/My boots/disc.iso does not exist").
#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "prep/disc_verdict.h"
#include "prep/prep_support.h"
#include "support/temp_dir.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

namespace fs = std::filesystem;

const char* const kNoLongerThere = "This file is no longer there.";
const char* const kNotAnImage = "This file is not a PS2 disc image.";
const char* const kEuropean =
    "This is the European disc. Only the USA disc (SQMU-40420) is supported.";
const char* const kOtherGame = "This disc image is another game.";
const char* const kModified =
    "This copy differs from the USA disc: modified or damaged. Make a fresh copy of your disc.";

// --- the mapping, on its own ---------------------------------------------------------------------

struct ReasonCase {
    const char* name;
    const char* reason;
    const char* path;
    const char* message;
};

class RefusalMessage : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(RefusalMessage, ComesFromTheReasonOutsideTheQuotedPath) {
    const ReasonCase& c = GetParam();
    ui::french = false;
    EXPECT_EQ(discRefusalMessage(c.reason, c.path), c.message) << c.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalMessage,
    ::testing::Values(
        ReasonCase{"missing_in_a_keyword_folder", "the disc image /d/My boots/x.iso does not exist",
                   "/d/My boots/x.iso", kNoLongerThere},
        ReasonCase{"file_name_quoted",
                   "European copy.iso is not an ISO9660 disc image (only 17 "
                   "bytes)",
                   "/d/European copy.iso", kNotAnImage},
        ReasonCase{"quoted_twice", "/d/SHA-1.iso: cannot read /d/SHA-1.iso", "/d/SHA-1.iso",
                   kNotAnImage},
        ReasonCase{"track_file_beside_the_cue",
                   "the track file /d/My boots/good.bin named by /d/My boots/a.cue does not exist",
                   "/d/My boots/a.cue", kNoLongerThere},
        // Taking out the file name first would cut the folder's quotation apart and leave
        // "European" behind.
        ReasonCase{"longest_first",
                   "the track file /d/European boots.iso/good.bin named by /d/European "
                   "boots.iso/boots.iso does not exist",
                   "/d/European boots.iso/boots.iso", kNoLongerThere},
        ReasonCase{"windows_path", "the disc image C:\\Games\\European\\x.iso does not exist",
                   "C:\\Games\\European\\x.iso", kNoLongerThere},
        ReasonCase{"the_scripts_own_words_stay",
                   "SQME_502.13 is the European (PAL) disc of Quillmere; only the USA disc "
                   "SQMU_404.20 is supported",
                   "/d/does not exist/boots SHA-1.iso", kEuropean},
        ReasonCase{"table_order_kept", "SHA-1 of the European disc", "/d/x.iso", kEuropean},
        ReasonCase{"boots_before_sha1", "the disc boots X, SHA-1 unknown", "/d/x.iso", kOtherGame},
        ReasonCase{"empty_path", "the disc boots SLUS_209.46, another game", "", kOtherGame},
        ReasonCase{"folder_path_only", "the disc image /d/boots/ does not exist", "/d/boots/",
                   kNoLongerThere},
        ReasonCase{"empty_reason", "", "/d/x.iso", kNotAnImage}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalMessage, FollowsTheLanguage) {
    ui::french = true;
    EXPECT_EQ(
        discRefusalMessage("the disc image /d/European/x.iso does not exist", "/d/European/x.iso"),
        "Ce fichier n'existe plus.");
    ui::french = false;
}

// --- the real build script on images with such names ---------------------------------------------

class NamedDiscs : public ::testing::Test {
protected:
    TempDir release, user, place;
    std::unique_ptr<App> app;

    void SetUp() override {
        prep_test::makeRelease(release.path());
        plat::setEnv("ZOLT_USER_DIR", user.path());
        ui::french = false;
        app = std::make_unique<App>();
        app->openRelease(release.path());
        ASSERT_EQ(app->screen, Screen::NoDisc) << app->missingItem;
    }

    static std::string fixture(const char* name) {
        return plat::joinPath(prep_test::fixtureDiscs(), name);
    }
    // The folder (made if needed) and the file name joined inside this test's own folder.
    std::string at(const std::string& folder, const std::string& file) {
        const fs::path dir =
            folder.empty() ? fs::path(place.path()) : place.path() / fs::path(folder);
        fs::create_directories(dir);
        return (dir / file).string();
    }
    // Runs the real check and gives its message; empty when the image was accepted.
    std::string check(const std::string& path) {
        app->startDiscCheck(path);
        const double end = plat::now() + 120;
        while (app->checkingDisc && plat::now() < end) {
            plat::sleepMs(10);
            app->pollDiscCheck();
        }
        EXPECT_FALSE(app->checkingDisc) << path;
        return app->discMessage;
    }
};

struct NameCase {
    const char* name;
    const char* folder; // inside the test's folder; empty: the folder itself
    const char* file;
};

// Each path is checked three times: while nothing is there, as a text file, then as a copy of
// the good USA image.
TEST_F(NamedDiscs, KeywordsInThePathGiveTheMessageOfTheRealCause) {
    const NameCase cases[] = {
        {"european_file", "", "European copy.iso"},
        {"boots_folder", "My boots", "disc.iso"},
        {"sha1_file", "", "SHA-1 verified.iso"},
        {"does_not_exist_folder", "does not exist", "disc.iso"},
        {"iso9660_file", "", "not an ISO9660 disc image.iso"},
        {"keyword_alone_as_name", "SHA-1", "European"},
        {"every_keyword", "European boots SHA-1 does not exist ISO9660",
         "boots European SHA-1.iso"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = at(c.folder, c.file);
        EXPECT_EQ(check(path), kNoLongerThere) << app->discDetail;
        TempDir::writeTo(path, "not a disc image\n");
        EXPECT_EQ(check(path), kNotAnImage) << app->discDetail;
        // The detail shown under the message still quotes the path whole.
        EXPECT_NE(app->discDetail.find(c.file), std::string::npos) << app->discDetail;
        fs::copy_file(fixture("good.iso"), path, fs::copy_options::overwrite_existing);
        EXPECT_EQ(check(path), "") << app->discDetail;
        EXPECT_EQ(app->settings.disc, path);
    }
}

TEST_F(NamedDiscs, ACueSheetInAKeywordFolderIsJudgedByItsTrackFile) {
    const std::string cue = at("European boots", "good.cue");
    const std::string bin = at("European boots", "good.bin");
    fs::copy_file(fixture("good.cue"), cue);
    EXPECT_EQ(check(cue), kNoLongerThere) << app->discDetail;
    TempDir::writeTo(bin, "not a disc image\n");
    EXPECT_EQ(check(cue), kNotAnImage) << app->discDetail;
    fs::copy_file(fixture("good.bin"), bin, fs::copy_options::overwrite_existing);
    EXPECT_EQ(check(cue), "") << app->discDetail;
}

// The other way round: a keyword in the path takes nothing away from the script's own words.
TEST_F(NamedDiscs, RealRefusalsKeepTheirMessageWhateverTheName) {
    const struct {
        const char* image;
        const char* folder;
        const char* file;
        const char* message;
    } cases[] = {
        {"european.iso", "does not exist", "boots.iso", kEuropean},
        {"other.iso", "SHA-1", "European.iso", kOtherGame},
        {"modified.iso", "My boots", "European.iso", kModified},
    };
    for (const auto& c : cases) {
        const std::string path = at(c.folder, c.file);
        fs::copy_file(fixture(c.image), path, fs::copy_options::overwrite_existing);
        EXPECT_EQ(check(path), c.message) << c.image << ": " << app->discDetail;
    }
}

} // namespace
