// The parts of the child process runner that every backend shares: the line splitting and queue
// that a reader thread fills, collecting and waiting for the output, and the quoting of one
// command-line argument. The system calls live in posix/process_posix.cpp and
// win32/process_win32.cpp; nothing here may include an OS header.
#include "plat/process.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace plat {

// --- output queue ------------------------------------------------------------------------------

void Process::Output::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
    pending_.clear();
    dropping_ = false;
    done_.exchange(true);
}

void Process::Output::begin() {
    pending_.clear();
    dropping_ = false;
    done_.exchange(false);
}

void Process::Output::feed(const char* data, std::size_t n) {
    std::vector<std::string> complete;
    const char* p = data;
    const char* const end = data + n;
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        if (dropping_) {
            if (!lf) break;
            dropping_ = false;
            p = lf + 1;
            continue;
        }
        const std::size_t take = std::size_t((lf ? lf : end) - p);
        const std::size_t room = kMaxLineBytes - pending_.size();
        if (take > room) {
            // An over-long line: its head is a line of its own, its tail goes unread.
            pending_.append(p, room);
            complete.push_back(std::move(pending_));
            pending_.clear();
            dropping_ = lf == nullptr;
            p = lf ? lf + 1 : end;
            continue;
        }
        pending_.append(p, take);
        if (!lf) break;
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        complete.push_back(std::move(pending_));
        pending_.clear();
        p = lf + 1;
    }
    if (complete.empty()) return;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& line : complete)
        lines_.push_back(std::move(line));
}

void Process::Output::finish() {
    if (!pending_.empty()) {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(std::move(pending_));
    }
    pending_.clear();
    dropping_ = false;
    done_.exchange(true);
}

std::vector<std::string> Process::Output::take() {
    std::deque<std::string> taken;
    {
        std::lock_guard<std::mutex> guard(lock_);
        taken.swap(lines_);
    }
    return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}

// --- collecting --------------------------------------------------------------------------------

std::vector<std::string> Process::takeLines() {
    return out_.take();
}

void Process::waitOutput(int ms) {
    for (int waited = 0; !out_.done() && waited < ms; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// --- command-line quoting ----------------------------------------------------------------------

std::wstring quoteArg(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes only escape when a quote follows them.
        if (c == L'"')
            out.append(slashes * 2 + 1, L'\\');
        else
            out.append(slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    // The closing quote follows, so a trailing run must not escape it.
    out.append(slashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

} // namespace plat
