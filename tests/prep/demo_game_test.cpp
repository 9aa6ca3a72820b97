// The game program as the launcher meets it: started as a child with its command line and
// environment, judged by its exit, its log, its crash reports and its window captures.
//
// Sections: running the game · refused starts · the window it opens · how it ends
#include "support/png_read.h"
#include "support/temp_dir.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;

// --- running the game ----------------------------------------------------------------------------

std::string gamePath() {
    return std::string(QM_BIN_DIR) + "/qm";
}

bool haveDisplay() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

// The game as a child process. Its environment is ours without any ZOLT_ variable, plus env;
// a value of "-" removes a variable instead. Its output goes to a file.
class GameChild {
public:
    GameChild(const std::vector<std::string>& args, const Env& env, const std::string& outFile) {
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            std::string kv = *e, key = kv.substr(0, kv.find('='));
            if (key.rfind("ZOLT_", 0) != 0 && !env.count(key)) envText.push_back(kv);
        }
        for (const auto& [k, v] : env)
            if (v != "-") envText.push_back(k + "=" + v);
        std::vector<std::string> argText{gamePath()};
        argText.insert(argText.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : argText)
            argv.push_back(a.data());
        for (std::string& e : envText)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            // A crash on purpose must not leave a core file behind.
            struct rlimit noCore {
                0, 0
            };
            setrlimit(RLIMIT_CORE, &noCore);
            int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~GameChild() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
    }
    GameChild(const GameChild&) = delete;
    GameChild& operator=(const GameChild&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int sig) { kill(pid_, sig); }
    // The wait only bounds a test whose game hangs.
    bool waitEnd(int seconds = 30) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            if (!ended_) ended_ = waitpid(pid_, &status_, WNOHANG) == pid_;
            if (ended_ || std::chrono::steady_clock::now() >= until) return ended_;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    bool exitedWith(int code) const {
        return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
    }
    bool killedBy(int sig) const {
        return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == sig;
    }
    int status() const { return status_; }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// A user folder with the two files the game needs, as the launcher's release has them.
struct GameFolder {
    TempDir dir;
    std::string user = dir.file("user");
    std::string elf = dir.write("SQMU_404.20", "elf");
    std::string iso = dir.write("disc.iso", "iso");
    std::string log() const { return readBytes(user + "/logs/qm.log"); }
    std::string output() const { return readBytes(dir.file("output.txt")); }
    std::vector<std::string> args() const { return {"--elf", elf, "--iso", iso}; }
    Env env(Env more = {}) const {
        more["ZOLT_USER_DIR"] = user;
        more["ZOLT_NO_DIALOGS"] = "1";
        return more;
    }
    GameFolder() { fs::create_directories(user); }
};

// Polls the game's log until it holds text; the wait only bounds a test whose game hangs.
bool logShows(const GameFolder& f, GameChild& game, const std::string& text, int seconds = 30) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (f.log().find(text) != std::string::npos) return true;
        if (game.waitEnd(0)) return f.log().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string monitorSizeText() {
    if (!SDL_Init(SDL_INIT_VIDEO)) return "?";
    SDL_Rect r{};
    SDL_GetDisplayBounds(SDL_GetPrimaryDisplay(), &r);
    SDL_Quit();
    return std::to_string(r.w) + "x" + std::to_string(r.h);
}

std::string videoIni(const std::string& size, const std::string& mode,
                     const std::string& extra = "") {
    return "[video]\nsize = " + size + "\nmode = " + mode + "\n" + extra;
}

// --- refused starts ------------------------------------------------------------------------------

// Without both files the game must not open a window at all: no display is given here.
TEST(DemoGameStart, RefusesWithoutItsFilesAndOpensNoWindow) {
    struct Case {
        const char* name;
        std::vector<std::string> args; // "ELF" and "ISO" stand for the real files
    };
    const Case cases[] = {
        {"no arguments", {}},
        {"only --elf", {"--elf", "ELF"}},
        {"only --iso", {"--iso", "ISO"}},
        {"--elf names nothing", {"--elf", "missing.elf", "--iso", "ISO"}},
        {"--iso names nothing", {"--elf", "ELF", "--iso", "missing.iso"}},
        {"--iso without its file", {"--elf", "ELF", "--iso"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder f;
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "ELF" ? f.elf : a == "ISO" ? f.iso : a);
        GameChild game(args, f.env({{"DISPLAY", "-"}, {"WAYLAND_DISPLAY", "-"}}),
                       f.dir.file("output.txt"));
        ASSERT_TRUE(game.started());
        ASSERT_TRUE(game.waitEnd());
        EXPECT_TRUE(game.exitedWith(2)) << "status " << game.status();
        EXPECT_NE(f.output().find("cannot start"), std::string::npos) << f.output();
        EXPECT_NE(f.log().find("refused to start"), std::string::npos) << f.log();
        EXPECT_EQ(f.log().find(" window "), std::string::npos) << f.log();
    }
}

// --- the window it opens -------------------------------------------------------------------------

TEST(DemoGameWindow, OpensAsVideoIniAndTheEnvironmentSay) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    const std::string monitor = monitorSizeText();
    struct Case {
        const char* name;
        std::string ini; // empty: no video.ini
        Env env;
        std::string expected; // a whole line of the log, after its time stamp
    };
    const Case cases[] = {
        {"video.ini's size", videoIni("800x600", "windowed"), {}, "window 800x600 windowed"},
        {"no video.ini: the default size", "", {}, "window 640x448 windowed"},
        {"size overridden",
         videoIni("800x600", "windowed"),
         {{"ZOLT_WINDOW_SIZE", "1024x768"}},
         "window 1024x768 windowed"},
        {"0x0 overrides with the default size",
         videoIni("800x600", "windowed"),
         {{"ZOLT_WINDOW_SIZE", "0x0"}},
         "window 640x448 windowed"},
        {"invalid overrides are ignored",
         videoIni("800x600", "windowed"),
         {{"ZOLT_WINDOW_SIZE", "100x100"}, {"ZOLT_WINDOW_MODE", "Fullscreen"}},
         "window 800x600 windowed"},
        {"borderless from video.ini covers the monitor",
         videoIni("800x600", "borderless"),
         {},
         "window " + monitor + " borderless"},
        {"mode overridden",
         videoIni("800x600", "windowed"),
         {{"ZOLT_WINDOW_MODE", "borderless"}},
         "window " + monitor + " borderless"},
        {"video.ini's scale and frame rate",
         videoIni("800x600", "windowed", "render_scale = 2\nframe_rate = 30\n"),
         {},
         "render scale 2, frame rate 30 (30 frames a second)"},
        {"scale and frame rate overridden",
         videoIni("800x600", "windowed", "render_scale = 2\nframe_rate = 30\n"),
         {{"ZOLT_RENDER_SCALE", "0.5"}, {"ZOLT_FRAME_RATE", "game"}},
         "render scale 0.5, frame rate game (60 frames a second)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder f;
        const std::string iniPath = f.user + "/video.ini";
        if (!c.ini.empty()) TempDir::writeTo(iniPath, c.ini);
        std::vector<std::string> args = f.args();
        args.push_back("--unknown-option"); // ignored, as every option but --elf and --iso
        GameChild game(args, f.env(c.env), f.dir.file("output.txt"));
        ASSERT_TRUE(game.started());
        EXPECT_TRUE(logShows(f, game, " render scale ")) << f.log() << f.output();
        game.signal(SIGTERM);
        ASSERT_TRUE(game.waitEnd());
        EXPECT_TRUE(game.exitedWith(0)) << "status " << game.status();
        EXPECT_NE(f.log().find(" " + c.expected + "\n"), std::string::npos) << f.log();
        // The overrides live only in the game's memory.
        if (c.ini.empty())
            EXPECT_FALSE(fs::exists(iniPath));
        else
            EXPECT_EQ(readBytes(iniPath), c.ini);
    }
}

// --- how it ends ---------------------------------------------------------------------------------

TEST(DemoGameEnd, TermSignalEndsWithZeroAfterALastCapture) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    GameFolder f;
    TempDir::writeTo(f.user + "/video.ini", videoIni("800x600", "windowed"));
    const std::string captures = f.dir.file("captures/play"); // created by the game
    GameChild game(f.args(), f.env({{"ZOLT_CAPTURE_WINDOW_DIR", captures}}),
                   f.dir.file("output.txt"));
    ASSERT_TRUE(game.started());
    EXPECT_TRUE(logShows(f, game, "qm-0001.png")) << f.log() << f.output();
    game.signal(SIGTERM);
    ASSERT_TRUE(game.waitEnd());
    EXPECT_TRUE(game.exitedWith(0)) << "status " << game.status();
    EXPECT_NE(f.log().find("exit code 0\n"), std::string::npos) << f.log();

    for (const char* name : {"qm-0001.png", "qm-last.png"}) {
        SCOPED_TRACE(name);
        PngImage img = readStoredPng(captures + "/" + name);
        ASSERT_TRUE(img.ok);
        EXPECT_EQ(img.width, 800u);
        EXPECT_EQ(img.height, 600u);
        // The scene covers the whole window: a capture of an unrendered buffer would be black.
        size_t lit = 0;
        for (size_t i = 0; i < img.pixels.size(); i += img.channels)
            lit += (img.pixels[i] | img.pixels[i + 1] | img.pixels[i + 2]) != 0;
        EXPECT_GT(lit, size_t(img.width) * img.height / 2);
    }
}

TEST(DemoGameEnd, TestCrashAbortsAfterWritingANewReport) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    GameFolder f;
    const std::string crashes = f.user + "/crashes";
    fs::create_directories(crashes);
    TempDir::writeTo(crashes + "/old.txt", "an earlier report\n");
    const std::string captures = f.dir.file("crash");
    GameChild game(f.args(),
                   f.env({{"ZOLT_TEST_CRASH", "1"}, {"ZOLT_CAPTURE_WINDOW_DIR", captures}}),
                   f.dir.file("output.txt"));
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitEnd());
    EXPECT_TRUE(game.killedBy(SIGABRT)) << "status " << game.status() << "\n" << f.output();

    std::vector<fs::path> reports;
    for (const auto& e : fs::directory_iterator(crashes))
        if (e.path().filename() != "old.txt") reports.push_back(e.path());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].extension(), ".txt");
    EXPECT_EQ(readBytes(crashes + "/old.txt"), "an earlier report\n");
    std::string report = readBytes(reports[0].string());
    EXPECT_NE(report.find(std::string("version: ") + QM_VERSION + "\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("ZOLT_TEST_CRASH"), std::string::npos) << report;
    EXPECT_NE(report.find(" window 640x448 windowed\n"), std::string::npos) << report;
    EXPECT_NE(f.log().find("crash report " + reports[0].string()), std::string::npos) << f.log();
    PngImage last = readStoredPng(captures + "/qm-last.png");
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(last.width, 640u);
}

} // namespace
