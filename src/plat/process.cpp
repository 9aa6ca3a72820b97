// The parts of the child process runner that every backend shares: the line splitting and queue
// that a reader thread fills, collecting and waiting for the output, and the quoting of one
// command-line argument. The system calls live in posix/process_posix.cpp and
// win32/process_win32.cpp; nothing here may include an OS header.
#include "plat/process.h"

#include <chrono>
#include <thread>

namespace plat {

// --- output queue ------------------------------------------------------------------------------

void Process::Output::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
    pending_.clear();
    done_.exchange(true);
}

void Process::Output::begin() {
    pending_.clear();
    done_.exchange(false);
}

void Process::Output::feed(const char* data, std::size_t n) {
    // Only the new bytes can hold a line feed: the pending ones were searched before.
    std::size_t from = pending_.size();
    pending_.append(data, n);
    std::vector<std::string> complete;
    std::size_t start = 0;
    for (std::size_t lf = pending_.find('\n', from); lf != std::string::npos;
         lf = pending_.find('\n', start)) {
        std::size_t end = lf;
        if (end > start && pending_[end - 1] == '\r') --end;
        complete.emplace_back(pending_, start, end - start);
        start = lf + 1;
    }
    if (complete.empty()) return;
    pending_.erase(0, start);
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
