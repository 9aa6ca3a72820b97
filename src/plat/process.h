// One child program, started captured or plain.
//
// Captured: no console, standard input from the null device, standard output and standard error
// merged into one pipe that a reader thread splits into lines; the child and everything it starts
// end together on kill() and on release. Plain: an independent program that outlives us.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plat {

// The longest output line a captured child can hand us: an over-long line is delivered as its
// first kMaxLineBytes bytes, and the rest of it, up to its line feed, is dropped. A child that
// writes without end and never a line feed thus costs a bounded amount of memory.
inline constexpr std::size_t kMaxLineBytes = std::size_t(1) << 20;

class Process {
public:
    Process();
    ~Process(); // releases the child: a captured one ends with its whole tree, a plain one stays
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Releases the previous child first. On failure err holds the system's reason.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir, bool capture, std::string& err);
    // Captured, but without a tree of its own (no job object or job helper): the child stays in
    // whatever tree holds this program, and only what ends that tree ends it, as with the helpers
    // a build script starts. For the kit's stand-in interpreter.
    bool startInOurTree(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir, std::string& err);
    bool running();
    // The exit code once ended; -1 while running, when never started, or unreadable.
    int exitCode();
    unsigned pid() const;
    // All complete lines queued so far, oldest first.
    std::vector<std::string> takeLines();
    // Waits until the reader has seen the end of the output, at most ms milliseconds.
    void waitOutput(int ms);
    // Ends the child (and, when captured, all it started) at once; exitCode() then reads 1.
    void kill();
    // Asks the child's windows to close; does not wait.
    void closeWindows();

    struct State; // the backend's handles (process_posix.cpp, process_win32.cpp)

private:
    // What the reader thread hands to the frame thread; the same for every backend
    // (process.cpp). Lines end at a line feed, lose one carriage return before it, are cut at
    // kMaxLineBytes, and a last unterminated line is delivered at the end of the output.
    class Output {
    public:
        void reset();                               // no reader runs: empty queue, done
        void begin();                               // just before a reader starts
        void feed(const char* data, std::size_t n); // reader thread only
        void finish();                              // reader thread, at its very end
        bool done() const { return done_.load(); }
        std::vector<std::string> take();

    private:
        // The largest emptied buffer kept for reuse (a frame's worth of a flood is about 1 MiB).
        static constexpr std::size_t kSpareBytes = std::size_t(4) << 20;

        std::mutex lock_;
        std::string bytes_;     // guarded by lock_: complete lines, each ending in a line feed
        std::size_t lines_ = 0; // guarded by lock_: the lines in bytes_
        std::string spare_;     // guarded by lock_: an empty buffer with capacity, for bytes_
        std::string pending_;   // reader thread only: the line still without its line feed
        bool dropping_ = false; // reader thread only: in the cut-off tail of a long line
        std::atomic<bool> done_{true};
    };

    void release();
    bool ownTree_ = true; // the next captured start gives the child a tree of its own

    std::unique_ptr<State> s_;
    Output out_;
};

// One argument in the form Windows programs split command lines by.
std::wstring quoteArg(const std::wstring& arg);
// The calling thread's last system error as text.
std::string lastErrorText();

} // namespace plat
