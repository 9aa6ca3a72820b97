// launcher.ini and video.ini: the line reader · each record's rules · the written texts ·
// replacing a file whole · hostile files.
#include "app/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

using Map = std::map<std::string, std::string>;

std::string withNul(const char* a, const char* b) {
    return std::string(a) + '\0' + b;
}

// ---- readKeyValueFile ---------------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string content;
    bool stripComments;
    Map expected;
};

TEST(ReadKeyValueFile, LineRules) {
    const ReadCase cases[] = {
        {"plain", "a = b\n", false, {{"a", "b"}}},
        {"CR LF line ends", "a = b\r\nc=d\r\n", false, {{"a", "b"}, {"c", "d"}}},
        {"last line without LF", "a=b", false, {{"a", "b"}}},
        {"hash kept without stripping", "disc = C:/x#y.iso\n", false, {{"disc", "C:/x#y.iso"}}},
        {"hash cuts with stripping", "disc = C:/x#y.iso\n", true, {{"disc", "C:/x"}}},
        {"inline comment", "size = 800x600 # old\n", true, {{"size", "800x600"}}},
        {"comment lines", "# a = b\n; c = d\n  ; e = f\n\t# g = h\n", false, {}},
        {"sections ignored", "[video]\n[a=b]\nk=v\n", false, {{"k", "v"}}},
        {"line without equals", "hello\nk=v\n", false, {{"k", "v"}}},
        {"blank-only and empty lines", "\n \t\r\n\r\nk=v\n", false, {{"k", "v"}}},
        {"comment leaves nothing", "   # k=v\n", true, {}},
        {"empty key", "= v\n", false, {{"", "v"}}},
        {"empty value", "k =\n", false, {{"k", ""}}},
        {"value holds equals", "a = b = c\n", false, {{"a", "b = c"}}},
        {"blanks trimmed both sides", "\t a \t=\t b c \t\r\n", false, {{"a", "b c"}}},
        {"keys case-sensitive", "Mode=x\nmode=y\n", false, {{"Mode", "x"}, {"mode", "y"}}},
        {"later line wins", "a=1\na=2\n", false, {{"a", "2"}}},
        {"other white space is no blank", "\va=b\f\n", false, {{"\va", "b\f"}}},
        {"lone CR stays inside", "a=b\rc=d\n", false, {{"a", "b\rc=d"}}},
        {"NUL byte in a value", withNul("a=x", "y\n"), false, {{"a", withNul("x", "y")}}},
    };
    TempDir dir;
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Map map;
        ASSERT_TRUE(readKeyValueFile(dir.write("f.ini", c.content), map, c.stripComments));
        EXPECT_EQ(map, c.expected);
    }
}

TEST(ReadKeyValueFile, AddsToWhatTheMapHeld) {
    TempDir dir;
    Map map = {{"old", "1"}, {"a", "0"}};
    ASSERT_TRUE(readKeyValueFile(dir.write("f.ini", "a=2\n"), map, false));
    EXPECT_EQ(map, (Map{{"old", "1"}, {"a", "2"}}));
}

TEST(ReadKeyValueFile, UnreadableLeavesMapUnchanged) {
    TempDir dir;
    const Map before = {{"keep", "me"}};
    for (const std::string& path : {dir.file("missing.ini"), dir.path()}) {
        SCOPED_TRACE(path);
        Map map = before;
        EXPECT_FALSE(readKeyValueFile(path, map, true));
        EXPECT_EQ(map, before);
    }
}

// ---- launcher.ini ---------------------------------------------------------------------------

void expectSame(const LauncherSettings& got, const LauncherSettings& want) {
    EXPECT_EQ(got.disc, want.disc);
    EXPECT_EQ(got.language, want.language);
    EXPECT_EQ(got.motion, want.motion);
    EXPECT_EQ(got.build_pending, want.build_pending);
    EXPECT_EQ(got.built, want.built);
    EXPECT_DOUBLE_EQ(got.last_build_seconds, want.last_build_seconds);
    EXPECT_DOUBLE_EQ(got.pending_build_seconds, want.pending_build_seconds);
    EXPECT_EQ(got.update_check, want.update_check);
}

LauncherSettings launcher(void (*change)(LauncherSettings&)) {
    LauncherSettings s;
    change(s);
    return s;
}

struct LauncherCase {
    const char* content;
    LauncherSettings expected;
};

TEST(LauncherSettingsFile, ValuesFromTheFile) {
    const LauncherCase cases[] = {
        {"", {}},
        {"disc = C:/Games/#1/qm.iso\n", launcher([](auto& s) { s.disc = "C:/Games/#1/qm.iso"; })},
        {"language = fr\n", launcher([](auto& s) { s.language = "fr"; })},
        {"motion = off\n", {}},
        {"motion = 0\n", launcher([](auto& s) { s.motion = false; })},
        {"motion = \n", {}},
        {"update_check = 0\r\n", launcher([](auto& s) { s.update_check = false; })},
        {"update_check = 00\n", {}},
        {"built = true\n", {}},
        {"built = 1\n", launcher([](auto& s) { s.built = true; })},
        {"build_pending = 1\n", launcher([](auto& s) { s.build_pending = true; })},
        {"build_pending = 01\n", {}},
        {"[video]\nmotion = 0\n", launcher([](auto& s) { s.motion = false; })},
        {"built = 1\nbuilt = 0\n", {}},
    };
    TempDir dir;
    for (const LauncherCase& c : cases) {
        SCOPED_TRACE(c.content);
        LauncherSettings got;
        ASSERT_TRUE(loadLauncherSettings(dir.write("launcher.ini", c.content), got));
        expectSame(got, c.expected);
    }
}

TEST(LauncherSettingsFile, SecondsTakeTheLeadingDecimalNumber) {
    const std::pair<const char*, double> cases[] = {
        {"124", 124.0}, {"123.6", 123.6}, {"12abc", 12.0},   {"abc", 0.0},   {"-5", -5.0},
        {"+7", 7.0},    {"1e3", 1000.0},  {"2.5e-1s", 0.25}, {"1e", 1.0},    {"1e+", 1.0},
        {".5", 0.5},    {"5.", 5.0},      {".", 0.0},        {"-", 0.0},     {"inf", 0.0},
        {"nan", 0.0},   {"0x10", 0.0},    {"1,5", 1.0},      {"1e999", 0.0}, {"1e-999", 0.0},
    };
    TempDir dir;
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        LauncherSettings got;
        std::string text = "last_build_seconds = " + std::string(value) + "\n" +
                           "pending_build_seconds = " + value + "\n";
        ASSERT_TRUE(loadLauncherSettings(dir.write("launcher.ini", text), got));
        EXPECT_DOUBLE_EQ(got.last_build_seconds, expected);
        EXPECT_DOUBLE_EQ(got.pending_build_seconds, expected);
    }
}

TEST(LauncherSettingsFile, AbsentKeysFallBackButMissingFileChangesNothing) {
    TempDir dir;
    LauncherSettings changed;
    changed.disc = "old.iso";
    changed.motion = false;
    changed.built = true;
    changed.last_build_seconds = 99;

    LauncherSettings fromEmpty = changed;
    ASSERT_TRUE(loadLauncherSettings(dir.write("launcher.ini", "[launcher]\n"), fromEmpty));
    expectSame(fromEmpty, LauncherSettings{});

    LauncherSettings fromMissing = changed;
    EXPECT_FALSE(loadLauncherSettings(dir.file("nothing.ini"), fromMissing));
    expectSame(fromMissing, changed);
}

// ---- video.ini ------------------------------------------------------------------------------

// A previous record unlike the defaults, so that "keeps the previous value" shows.
VideoSettings previousVideo() {
    VideoSettings v;
    v.width = 1024;
    v.height = 768;
    v.mode = "borderless";
    v.render_scale = "1.5";
    v.gs_scale = 2;
    v.frame_rate = "30";
    return v;
}

VideoSettings video(void (*change)(VideoSettings&)) {
    VideoSettings v = previousVideo();
    change(v);
    return v;
}

struct VideoCase {
    const char* content;
    VideoSettings expected;
};

TEST(VideoSettingsFile, ValuesFromTheFile) {
    auto size = [](int w, int h) {
        VideoSettings v = previousVideo();
        v.width = w;
        v.height = h;
        return v;
    };
    const VideoCase cases[] = {
        {"size = 1280x960\n", size(1280, 960)},
        {"size = 1280x960 and more\n", size(1280, 960)},
        {"size = 1280x 960\n", size(1280, 960)},
        {"size = +1280x+960\n", size(1280, 960)},
        {"size = 160x120\n", size(160, 120)},
        {"size = 159x120\n", previousVideo()},
        {"size = 160x119\n", previousVideo()},
        {"size = 100x100\n", previousVideo()},
        {"size = 1280\n", previousVideo()},
        {"size = 1280X960\n", previousVideo()},
        {"size = 1280 x 960\n", previousVideo()},
        {"size = 1280x\n", previousVideo()},
        {"size = 99999999999x960\n", previousVideo()},
        {"size = 1280x960 # comment\n", size(1280, 960)},
        {"size = 1280#x960\n", previousVideo()},
        {"mode = fullscreen\n", video([](auto& v) { v.mode = "fullscreen"; })},
        {"mode = windowed\n", video([](auto& v) { v.mode = "windowed"; })},
        {"mode = Fullscreen\n", previousVideo()},
        {"mode =\n", previousVideo()},
        {"mode = fullscreen\nmode = windowed\n", video([](auto& v) { v.mode = "windowed"; })},
        {"mode = fullscreen\n[video]\n", video([](auto& v) { v.mode = "fullscreen"; })},
        {"[other]\nmode = fullscreen\n", video([](auto& v) { v.mode = "fullscreen"; })},
        {"render_scale = 2.5 # x\n", video([](auto& v) { v.render_scale = "2.5"; })},
        {"render_scale = weird text\n", video([](auto& v) { v.render_scale = "weird text"; })},
        {"render_scale =\n", previousVideo()},
        {"frame_rate = 60\n", video([](auto& v) { v.frame_rate = "60"; })},
        {"frame_rate = # none\n", previousVideo()},
        {"gs_scale = 3\n", video([](auto& v) { v.gs_scale = 3; })},
        {"gs_scale = 9\n", video([](auto& v) { v.gs_scale = 4; })},
        {"gs_scale = 0\n", video([](auto& v) { v.gs_scale = 1; })},
        {"gs_scale = -2\n", video([](auto& v) { v.gs_scale = 1; })},
        {"gs_scale = abc\n", video([](auto& v) { v.gs_scale = 1; })},
        {"gs_scale = 3x\n", video([](auto& v) { v.gs_scale = 3; })},
        {"gs_scale = 99999999999\n", video([](auto& v) { v.gs_scale = 4; })},
        {"gs_scale =\n", previousVideo()},
    };
    TempDir dir;
    for (const VideoCase& c : cases) {
        SCOPED_TRACE(c.content);
        VideoSettings got = previousVideo();
        ASSERT_TRUE(loadVideoSettings(dir.write("video.ini", c.content), got));
        EXPECT_TRUE(got.exists);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
        EXPECT_EQ(got.mode, c.expected.mode);
        EXPECT_EQ(got.render_scale, c.expected.render_scale);
        EXPECT_EQ(got.gs_scale, c.expected.gs_scale);
        EXPECT_EQ(got.frame_rate, c.expected.frame_rate);
    }
}

TEST(VideoSettingsFile, MissingFileKeepsRecordAndIsNotThere) {
    TempDir dir;
    VideoSettings got = previousVideo();
    got.exists = true;
    EXPECT_FALSE(loadVideoSettings(dir.file("video.ini"), got));
    EXPECT_FALSE(got.exists);
    EXPECT_EQ(got.width, 1024);
    EXPECT_EQ(got.mode, "borderless");
}

// ---- written texts --------------------------------------------------------------------------

const char* const kHeader =
    "# The window (the Video tab of the settings window, F2, writes this file; ZOLT_WINDOW_SIZE, "
    "ZOLT_WINDOW_MODE,\n"
    "# ZOLT_RENDER_SCALE and ZOLT_FRAME_RATE override it).\n"
    "# mode: windowed, fullscreen (exclusive) or borderless (the monitor's size). render_scale: "
    "the 3D drawn at\n"
    "# that many times the window's size each way (0.25 to 4). Frame rate is preserved from the "
    "in-game settings.\n"
    "\n"
    "[video]\n";

TEST(WrittenFiles, LauncherIniFromDefaults) {
    TempDir dir;
    ASSERT_TRUE(saveLauncherSettings(LauncherSettings{}, dir.file("launcher.ini")));
    EXPECT_EQ(readBytes(dir.file("launcher.ini")),
              "# QM Launcher's settings (the launcher writes this file).\n"
              "[launcher]\n"
              "disc = \n"
              "language = \n"
              "motion = 1\n"
              "build_pending = 0\n"
              "built = 0\n"
              "last_build_seconds = 0\n"
              "pending_build_seconds = 0\n"
              "update_check = 1\n");
}

TEST(WrittenFiles, LauncherIniCarriesEveryValue) {
    TempDir dir;
    LauncherSettings s;
    s.disc = "C:\\Games\\#1 Quillmere.iso";
    s.language = "fr";
    s.motion = false;
    s.build_pending = true;
    s.built = true;
    s.last_build_seconds = 123.6;
    s.pending_build_seconds = 0.4;
    s.update_check = false;
    ASSERT_TRUE(saveLauncherSettings(s, dir.file("launcher.ini")));
    EXPECT_EQ(readBytes(dir.file("launcher.ini")),
              "# QM Launcher's settings (the launcher writes this file).\n"
              "[launcher]\n"
              "disc = C:\\Games\\#1 Quillmere.iso\n"
              "language = fr\n"
              "motion = 0\n"
              "build_pending = 1\n"
              "built = 1\n"
              "last_build_seconds = 124\n"
              "pending_build_seconds = 0\n"
              "update_check = 0\n");

    LauncherSettings back;
    ASSERT_TRUE(loadLauncherSettings(dir.file("launcher.ini"), back));
    s.last_build_seconds = 124.0;
    s.pending_build_seconds = 0.0;
    expectSame(back, s);
}

TEST(WrittenFiles, VideoIniHeaderIs389Bytes) {
    ASSERT_EQ(std::string(kHeader).size(), 389u);
    EXPECT_EQ(videoSettingsText(VideoSettings{}).substr(0, 389), kHeader);
}

TEST(WrittenFiles, VideoIniDefaultSizeIsWrittenAs640x448) {
    TempDir dir;
    VideoSettings v;
    ASSERT_TRUE(saveVideoSettings(v, dir.file("video.ini")));
    EXPECT_EQ(readBytes(dir.file("video.ini")), std::string(kHeader) + "size = 640x448\n"
                                                                       "mode = windowed\n"
                                                                       "render_scale = 1\n"
                                                                       "gs_scale = 1\n"
                                                                       "frame_rate = game\n");
    VideoSettings back;
    ASSERT_TRUE(loadVideoSettings(dir.file("video.ini"), back));
    EXPECT_EQ(back.width, 640);
    EXPECT_EQ(back.height, 448);
}

TEST(WrittenFiles, VideoIniCarriesTheGamesValuesVerbatim) {
    TempDir dir;
    VideoSettings v;
    ASSERT_TRUE(loadVideoSettings(dir.write("video.ini", "[video]\nsize = 1280x960\n"
                                                         "mode = fullscreen\n"
                                                         "render_scale = 2.5\n"
                                                         "gs_scale = 3\n"
                                                         "frame_rate = 60\n"
                                                         "custom = dropped\n"),
                                  v));
    ASSERT_TRUE(saveVideoSettings(v, dir.file("video.ini")));
    EXPECT_EQ(readBytes(dir.file("video.ini")), std::string(kHeader) + "size = 1280x960\n"
                                                                       "mode = fullscreen\n"
                                                                       "render_scale = 2.5\n"
                                                                       "gs_scale = 3\n"
                                                                       "frame_rate = 60\n");
}

TEST(WrittenFiles, VideoIniWritesEmptyCarriedTexts) {
    VideoSettings v;
    v.render_scale.clear();
    v.frame_rate.clear();
    EXPECT_EQ(videoSettingsText(v).substr(389), "size = 640x448\n"
                                                "mode = windowed\n"
                                                "render_scale = \n"
                                                "gs_scale = 1\n"
                                                "frame_rate = \n");
}

// ---- writeFileReplacing ---------------------------------------------------------------------

TEST(WriteFileReplacing, ReplacesWholeAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir.write("f.ini", "a much longer old content that must vanish\n");
    const std::string bytes = withNul("line\r\n", "binary\n");
    ASSERT_TRUE(writeFileReplacing(target, bytes));
    EXPECT_EQ(readBytes(target), bytes);
    EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));

    ASSERT_TRUE(writeFileReplacing(target, ""));
    EXPECT_EQ(readBytes(target), "");
}

TEST(WriteFileReplacing, FolderThatDoesNotExist) {
    TempDir dir;
    const std::string target = dir.file("nowhere/f.ini");
    EXPECT_FALSE(writeFileReplacing(target, "x\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
}

TEST(WriteFileReplacing, TargetUntouchedWhenTheTemporaryCannotBeWritten) {
    TempDir dir;
    const std::string target = dir.write("f.ini", "old\n");
    std::filesystem::create_directory(target + ".tmp"); // in the way of the temporary file
    EXPECT_FALSE(writeFileReplacing(target, "new\n"));
    EXPECT_EQ(readBytes(target), "old\n");
}

TEST(WriteFileReplacing, FailsWhenTheMoveFails) {
    TempDir dir;
    const std::string target = dir.file("taken");
    std::filesystem::create_directories(target + "/inside");
    EXPECT_FALSE(writeFileReplacing(target, "new\n"));
    EXPECT_TRUE(std::filesystem::is_directory(target + "/inside"));
}

// ---- hostile files --------------------------------------------------------------------------

TEST(HostileFiles, HugeLineIsReadWhole) {
    TempDir dir;
    const std::string value(48u << 20, 'x');
    Map map;
    ASSERT_TRUE(
        readKeyValueFile(dir.write("big.ini", "[video]\nk = " + value + "\nz=1"), map, true));
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map["k"].size(), value.size());
    EXPECT_EQ(map["z"], "1");
}

TEST(HostileFiles, BinaryNoiseDoesNotUpsetTheRecords) {
    TempDir dir;
    std::mt19937 rng(12345);
    std::string noise(8u << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    const std::string path = dir.write("video.ini", noise + "\nsize = 800x600\n");
    VideoSettings v;
    ASSERT_TRUE(loadVideoSettings(path, v));
    EXPECT_EQ(v.width, 800);
    EXPECT_EQ(v.height, 600);
    EXPECT_GE(v.gs_scale, 1);
    EXPECT_LE(v.gs_scale, 4);
    LauncherSettings s;
    EXPECT_TRUE(loadLauncherSettings(path, s));
}

} // namespace
