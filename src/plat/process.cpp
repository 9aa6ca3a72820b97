// The parts of the child process runner that every backend shares: the line splitting and queue
// that a reader thread fills, collecting and waiting for the output, and the quoting of one
// command-line argument. The system calls live in posix/process_posix.cpp and
// win32/process_win32.cpp; nothing here may include an OS header.
#include "plat/process.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace plat {

bool Process::startInOurTree(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir, std::string& err) {
    ownTree_ = false;
    bool ok = start(program, args, workDir, true, err);
    ownTree_ = true;
    return ok;
}

// --- output queue ------------------------------------------------------------------------------

void Process::Output::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    bytes_.clear();
    lines_ = 0;
    pending_.clear();
    dropping_ = false;
    done_.exchange(true);
}

void Process::Output::begin() {
    pending_.clear();
    dropping_ = false;
    done_.exchange(false);
}

// Complete lines are appended to one byte queue, each with its line feed, and only become strings
// in take(), on the frame thread. A string per line made by the reader and freed by the frame
// thread cost both threads more in the allocator than everything else they do with a flood.
void Process::Output::feed(const char* data, std::size_t n) {
    const char* p = data;
    const char* const end = data + n;
    std::lock_guard<std::mutex> guard(lock_);
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        if (dropping_) {
            if (!lf) break;
            dropping_ = false;
            p = lf + 1;
            continue;
        }
        std::size_t take = std::size_t((lf ? lf : end) - p);
        const std::size_t room = kMaxLineBytes - pending_.size();
        if (take > room) {
            // An over-long line: its head is a line of its own, its tail goes unread.
            pending_.append(p, room);
            bytes_ += pending_;
            bytes_ += '\n';
            ++lines_;
            pending_.clear();
            dropping_ = lf == nullptr;
            p = lf ? lf + 1 : end;
            continue;
        }
        if (!lf) {
            pending_.append(p, take);
            break;
        }
        if (pending_.empty()) {
            if (take > 0 && p[take - 1] == '\r') --take;
            bytes_.append(p, take);
        } else {
            pending_.append(p, take);
            if (pending_.back() == '\r') pending_.pop_back();
            bytes_ += pending_;
            pending_.clear();
        }
        bytes_ += '\n';
        ++lines_;
        p = lf + 1;
    }
}

void Process::Output::finish() {
    if (!pending_.empty()) {
        std::lock_guard<std::mutex> guard(lock_);
        bytes_ += pending_;
        bytes_ += '\n';
        ++lines_;
    }
    pending_.clear();
    dropping_ = false;
    done_.exchange(true);
}

std::vector<std::string> Process::Output::take() {
    std::string taken;
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(lock_);
        taken.swap(bytes_);
        bytes_.swap(spare_);
        lines.reserve(lines_);
        lines_ = 0;
    }
    const char* p = taken.data();
    const char* const end = p + taken.size();
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        lines.emplace_back(p, lf);
        p = lf + 1;
    }
    // The emptied buffer becomes the reader's next one, unless a burst made it large.
    if (taken.capacity() <= kSpareBytes) {
        taken.clear();
        std::lock_guard<std::mutex> guard(lock_);
        if (spare_.capacity() < taken.capacity()) spare_.swap(taken);
    }
    return lines;
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
