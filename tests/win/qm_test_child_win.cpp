// The child program of the Windows process tests (built as qm_test_child.exe). Its arguments are
// a list of commands run in order:
//
//   out TEXT / err TEXT   write TEXT to standard output / error at once (\n \r \t \\ decoded)
//   lines N LEN           N lines "I xxx…" with LEN x each, in one write
//   stdin                 "stdin eof" when standard input ends at once, else "stdin data"/"… error"
//   args                  "[ARG]" for every remaining argument as plat::commandLineArgs splits
//                         the command line (CommandLineToArgvW), in UTF-8; then stop
//   cwd / env NAME / pid  "cwd PATH", "env VALUE" (or "env unset"), "pid N"
//   pidfile PATH          write our pid to PATH (UTF-8)
//   grandchild PATH       start this program again with "pidfile PATH sleep 120000", sharing our
//                         standard handles (so it keeps our output pipe open); returns once PATH
//                         exists
//   window N              show a top-level window and wait; closing it ends us with code N
//   capture-self CMD...   start this program captured with CMD... through plat::Process and
//                         sleep two minutes
//   sleep MS / exit N
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/process.h"
#include "plat/win32/wide.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using plat::win::toUtf8;
using plat::win::toWide;

namespace {

void put(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!WriteFile(h, text.data() + done, DWORD(text.size() - done), &n, nullptr) || n == 0)
            ExitProcess(90);
        done += n;
    }
}

void say(const std::string& line) {
    put(STD_OUTPUT_HANDLE, line + "\n");
}

std::string decode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

void writePidFile(const std::string& path, DWORD pid) {
    // Written aside and moved, so a reader never sees half a number.
    std::string tmp = path + ".tmp";
    FILE* f = plat::openFile(tmp, "w");
    if (!f) ExitProcess(91);
    std::fprintf(f, "%lu\n", static_cast<unsigned long>(pid));
    std::fclose(f);
    plat::replaceFile(tmp, path);
}

void grandchild(const std::string& path) {
    std::wstring line = plat::quoteArg(toWide(plat::exePath())) + L" pidfile " +
                        plat::quoteArg(toWide(path)) + L" sleep 120000";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        ExitProcess(94);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    while (!pathExists(path))
        Sleep(5);
}

int closeCode = 0;

LRESULT CALLBACK windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) ExitProcess(UINT(closeCode));
    return DefWindowProcW(w, msg, wp, lp);
}

[[noreturn]] void showWindow(int code) {
    closeCode = code;
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QmTestChild";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"qm test child", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                             100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) ExitProcess(95);
    ShowWindow(w, SW_SHOWNORMAL);
    say("window shown");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ExitProcess(96);
}

[[noreturn]] void captureSelf(const std::vector<std::string>& commands) {
    plat::Process p;
    std::string err;
    if (!p.start(plat::exePath(), commands, "", true, err)) {
        say("start failed " + err);
        ExitProcess(92);
    }
    Sleep(120000);
    ExitProcess(0);
}

} // namespace

int main() {
    // The runtime's argv went through the ANSI code page; commands and paths must stay intact.
    std::vector<std::string> a = plat::commandLineArgs(0, nullptr);
    auto next = [&](size_t i) { return i + 1 < a.size() ? a[i + 1] : std::string(); };
    for (size_t i = 0; i < a.size(); ++i) {
        const std::string& cmd = a[i];
        if (cmd == "out" || cmd == "err") {
            put(cmd == "out" ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, decode(next(i)));
            ++i;
        } else if (cmd == "lines") {
            int n = std::atoi(next(i).c_str()), len = std::atoi(next(i + 1).c_str());
            std::string text;
            for (int k = 0; k < n; ++k)
                text += std::to_string(k) + " " + std::string(size_t(len), 'x') + "\n";
            put(STD_OUTPUT_HANDLE, text);
            i += 2;
        } else if (cmd == "stdin") {
            char c;
            DWORD n = 0;
            BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, nullptr);
            say(ok && n == 0 ? "stdin eof" : ok ? "stdin data" : "stdin error");
        } else if (cmd == "args") {
            for (++i; i < a.size(); ++i)
                say("[" + a[i] + "]");
        } else if (cmd == "cwd") {
            say("cwd " + plat::absolutePath("."));
        } else if (cmd == "env") {
            std::string v = plat::getEnv(next(i).c_str());
            say(v.empty() ? "env unset" : "env " + v);
            ++i;
        } else if (cmd == "pid") {
            say("pid " + std::to_string(GetCurrentProcessId()));
        } else if (cmd == "pidfile") {
            writePidFile(next(i), GetCurrentProcessId());
            ++i;
        } else if (cmd == "grandchild") {
            grandchild(next(i));
            ++i;
        } else if (cmd == "window") {
            showWindow(std::atoi(next(i).c_str()));
        } else if (cmd == "capture-self") {
            captureSelf(std::vector<std::string>(a.begin() + long(i) + 1, a.end()));
        } else if (cmd == "sleep") {
            Sleep(DWORD(std::atol(next(i).c_str())));
            ++i;
        } else if (cmd == "exit") {
            ExitProcess(UINT(std::atoi(next(i).c_str())));
        } else {
            put(STD_ERROR_HANDLE, "qm_test_child: unknown command " + cmd + "\n");
            return 2;
        }
    }
    return 0;
}
