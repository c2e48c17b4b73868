#pragma once
// Faults for the file layer: a system call that fails on cue, and things
// other than a regular file standing where one is expected.

#include "FileSystem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace filefaults {

// How many calls of one entry pass before it fails, and how many then fail
// (-1: all). Safe to share with a writer thread.
struct Cue {
    std::atomic<int> pass{0};
    std::atomic<int> fail{0};
};

// `call` fails with `error` when `cue` says so, and otherwise does what it did.
template <class Result, class... Arguments>
void FailOnCue(std::function<Result(Arguments...)>& call, int error, std::shared_ptr<Cue> cue)
{
    call = [original = call, error, cue](Arguments... arguments) -> Result {
        if (cue->pass.load() > 0) {
            --cue->pass;
        } else if (cue->fail.load() != 0) {
            if (cue->fail.load() > 0)
                --cue->fail;
            errno = error;
            return -1;
        }
        return original(arguments...);
    };
}

enum class Obstacle { Fifo, Folder, LinkOutside, DanglingLink };

struct ObstacleCase {
    const char* name;
    Obstacle what;
    const char* found; // what the refusal says stands there
};

inline void PrintTo(const ObstacleCase& c, std::ostream* os)
{
    *os << c.name;
}

inline const ObstacleCase kObstacles[] = {
    {"Fifo", Obstacle::Fifo, "it is a named pipe, not a file"},
    {"Folder", Obstacle::Folder, "it is a folder, not a file"},
    {"LinkToAFileOutside", Obstacle::LinkOutside, "it is a symbolic link, not a file"},
    {"DanglingLink", Obstacle::DanglingLink, "it is a symbolic link, not a file"},
};

inline const char* kOutsideText = "someone else's file\n";

// Puts `what` at `path`. A link points at `outside`, which then holds
// kOutsideText, or does not exist for a dangling link.
inline bool Place(Obstacle what, const std::string& path, const std::string& outside)
{
    switch (what) {
    case Obstacle::Fifo:
        return ::mkfifo(path.c_str(), 0600) == 0;
    case Obstacle::Folder:
        return ::mkdir(path.c_str(), 0700) == 0;
    case Obstacle::LinkOutside:
        std::ofstream(outside) << kOutsideText;
        return ::symlink(outside.c_str(), path.c_str()) == 0;
    case Obstacle::DanglingLink:
        return ::symlink(outside.c_str(), path.c_str()) == 0;
    }
    return false;
}

// The outside file as the obstacle left it: untouched, or still missing.
inline bool OutsideUntouched(Obstacle what, const std::string& outside)
{
    std::ifstream in(outside);
    if (what == Obstacle::DanglingLink)
        return !in;
    if (what != Obstacle::LinkOutside)
        return true;
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    return text == kOutsideText;
}

// Runs `call` on a thread of its own and waits two seconds for it. A call
// still blocked on `fifo` by then is freed by opening the pipe's other end,
// so that a test that fails still ends. True when it returned in time.
template <class Call>
bool ReturnsAtOnce(Call call, const std::string& fifo)
{
    auto done = std::async(std::launch::async, std::move(call));
    if (done.wait_for(std::chrono::seconds(2)) == std::future_status::ready) {
        done.get();
        return true;
    }
    // The other end counts once opened, even if closed at once; closed, it
    // leaves a reader at the end of the data rather than waiting for more.
    const int end = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (end >= 0)
        ::close(end);
    done.get();
    return false;
}

} // namespace filefaults
