#pragma once
// The one way this program reaches its files: every system call goes
// through a table that a test can fill with failures of its own, and the
// careful operations on top refuse what is not a regular file by what it
// is, follow no symbolic link at the end of a path, never block on a named
// pipe, repeat what a signal interrupted and write all of a buffer.
//
// A FileSystem does not change once built, so two threads may use one at
// the same time (the calls a test puts in must then allow that too).

#include "FileError.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

class File;

class FileSystem {
public:
    // The system calls, one entry each; the system's own by default.
    struct Calls {
        std::function<int(const char* path, int flags, mode_t mode)> Open;
        std::function<int(int fd)> Close;
        std::function<int(int fd, struct stat* status)> Fstat;
        std::function<int(const char* path, struct stat* status)> Lstat;
        std::function<ssize_t(int fd, const void* data, std::size_t size, off_t offset)> Pwrite;
        std::function<ssize_t(int fd, const void* data, std::size_t size)> Write;
        std::function<ssize_t(int fd, void* data, std::size_t size)> Read;
        std::function<int(int fd)> Fsync;
        std::function<int(int fd)> Fdatasync;
        std::function<int(int fd, off_t length)> Ftruncate;
        std::function<int(int fd, int command, int argument)> Fcntl;
        std::function<int(const char* from, const char* to)> Rename;
        std::function<int(const char* path)> Unlink;
        std::function<int(const char* path, mode_t mode)> Mkdir;
        std::function<int(int fd, mode_t mode)> Fchmod;
        std::function<int(int fd, int operation)> Flock;
    };
    static Calls SystemCalls();
    // The system's calls, for everything but tests.
    static FileSystem& System();

    explicit FileSystem(Calls calls);
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    const Calls& Call() const { return m_calls; }

    // Opens a regular file with `flags` (an access mode, O_CREAT, O_APPEND;
    // no O_TRUNC: what is refused is left as it was). A created file gets
    // `mode`. A symbolic link, folder, pipe, device or socket at `path` is
    // refused at once, named in the error.
    [[nodiscard]] FileError OpenRegular(const std::string& path, int flags, File& file,
                                        mode_t mode = 0600) const;
    // Creates `path` afresh for writing: whatever file or symbolic link
    // stands there is removed (never followed), and the new one is made by
    // this call alone.
    [[nodiscard]] FileError CreateFresh(const std::string& path, mode_t mode, File& file) const;
    // A folder, for syncing and protecting it; a symbolic link to one is
    // followed, since the folder itself may be the user's arrangement.
    [[nodiscard]] FileError OpenFolder(const std::string& path, File& folder) const;
    // Makes one folder; one that already stands there is no failure.
    [[nodiscard]] FileError MakeFolder(const std::string& path, mode_t mode) const;
    // Renames within a folder; `to` is replaced.
    [[nodiscard]] FileError Rename(const std::string& from, const std::string& to) const;
    // Removes a file or link; one that is not there is no failure.
    [[nodiscard]] FileError Remove(const std::string& path) const;
    // Makes a rename or removal in `folder` survive a power cut.
    [[nodiscard]] FileError SyncFolder(const std::string& folder) const;
    // What stands at `path`, the link itself for a symbolic link; None for a
    // regular file and when nothing stands there.
    FileFault Kind(const std::string& path) const;

private:
    Calls m_calls;
};

// An open descriptor with its path, closed when it goes.
class File {
public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    const std::string& Path() const { return m_path; }

    // All of `bytes` at the current offset.
    [[nodiscard]] FileError Write(std::string_view bytes) const;
    // All of `bytes` at `offset`; a disk that takes nothing and names no
    // error is full.
    [[nodiscard]] FileError WriteAt(std::string_view bytes, off_t offset) const;
    // Up to `size` bytes; `got` is 0 at the end.
    [[nodiscard]] FileError Read(char* data, std::size_t size, std::size_t& got) const;
    // Forces the file's data (and, unless `dataOnly`, its metadata) to the
    // disk. A file system that cannot (EINVAL) keeps it as well as it can.
    [[nodiscard]] FileError Sync(bool dataOnly = false) const;
    [[nodiscard]] FileError Truncate(off_t length) const;
    [[nodiscard]] FileError Status(struct stat& status) const;
    [[nodiscard]] FileError Protect(mode_t mode) const;
    // An exclusive lock, without waiting: Locked when another holds it.
    [[nodiscard]] FileError Lock() const;
    // Releases the descriptor even when the system reports an error.
    FileError Close();

private:
    friend class FileSystem;
    File(const FileSystem& files, int fd, std::string path);
    FileError Failed(const char* operation) const;

    const FileSystem* m_files = nullptr;
    int m_fd = -1;
    std::string m_path;
};
