#include "FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {

// Repeats a call that a signal interrupted.
template <class Call>
auto Retried(const Call& call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

FileFault KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileFault::None;
    if (S_ISDIR(mode))
        return FileFault::IsDirectory;
    if (S_ISFIFO(mode))
        return FileFault::IsPipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileFault::IsDevice;
    if (S_ISSOCK(mode))
        return FileFault::IsSocket;
    if (S_ISLNK(mode))
        return FileFault::IsSymlink;
    return FileFault::NotRegular;
}

} // namespace

FileSystem::Calls FileSystem::SystemCalls()
{
    Calls calls;
    calls.Open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); };
    calls.Close = [](int fd) { return ::close(fd); };
    calls.Fstat = [](int fd, struct stat* status) { return ::fstat(fd, status); };
    calls.Lstat = [](const char* path, struct stat* status) { return ::lstat(path, status); };
    calls.Pwrite = [](int fd, const void* data, std::size_t size, off_t offset) {
        return ::pwrite(fd, data, size, offset);
    };
    calls.Write = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); };
    calls.Read = [](int fd, void* data, std::size_t size) { return ::read(fd, data, size); };
    calls.Fsync = [](int fd) { return ::fsync(fd); };
    calls.Fdatasync = [](int fd) { return ::fdatasync(fd); };
    calls.Ftruncate = [](int fd, off_t length) { return ::ftruncate(fd, length); };
    calls.Fcntl = [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); };
    calls.Rename = [](const char* from, const char* to) { return ::rename(from, to); };
    calls.Unlink = [](const char* path) { return ::unlink(path); };
    calls.Mkdir = [](const char* path, mode_t mode) { return ::mkdir(path, mode); };
    calls.Fchmod = [](int fd, mode_t mode) { return ::fchmod(fd, mode); };
    calls.Flock = [](int fd, int operation) { return ::flock(fd, operation); };
    return calls;
}

FileSystem& FileSystem::System()
{
    static FileSystem system(SystemCalls());
    return system;
}

FileSystem::FileSystem(Calls calls) : m_calls(std::move(calls))
{
}

FileFault FileSystem::Kind(const std::string& path) const
{
    struct stat status {};
    if (m_calls.Lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? FileFault::NotFound : FileFault::Other;
    return KindOf(status.st_mode);
}

FileError FileSystem::OpenRegular(const std::string& path, int flags, File& file, mode_t mode) const
{
    file = File();
    // Non-blocking until the descriptor shows a regular file: a named pipe
    // would otherwise hold the open until someone reads or writes it.
    const int fd = Retried([&] {
        return m_calls.Open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    });
    if (fd < 0) {
        const int error = errno;
        // A link, a folder or a pipe nobody reads fails the open itself;
        // what stands there says more than ELOOP, EISDIR or ENXIO.
        if (const FileFault found = Kind(path); found != FileFault::None && found != FileFault::NotFound
                                                && found != FileFault::Other)
            return FileError::Found(found, "open", path);
        return FileError::FromErrno(error, "open", path);
    }
    File opened(*this, fd, path);
    struct stat status {};
    if (FileError error = opened.Status(status)) {
        error.Operation = "open";
        return error;
    }
    // Judged by the descriptor, not by the path, which may have changed since.
    if (const FileFault found = KindOf(status.st_mode); found != FileFault::None)
        return FileError::Found(found, "open", path);
    const int current = Retried([&] { return m_calls.Fcntl(fd, F_GETFL, 0); });
    if (current < 0 || Retried([&] { return m_calls.Fcntl(fd, F_SETFL, current & ~O_NONBLOCK); }) != 0)
        return FileError::FromErrno(errno, "open", path);
    file = std::move(opened);
    return {};
}

FileError FileSystem::CreateFresh(const std::string& path, mode_t mode, File& file) const
{
    file = File();
    if (FileError error = Remove(path)) {
        if (Kind(path) == FileFault::IsDirectory)
            return FileError::Found(FileFault::IsDirectory, "create", path);
        error.Operation = "create";
        return error;
    }
    // Exclusive: a file or link that appeared since is not written through.
    const int fd = Retried([&] {
        return m_calls.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    });
    if (fd < 0)
        return FileError::FromErrno(errno, "create", path);
    file = File(*this, fd, path);
    return {};
}

FileError FileSystem::OpenFolder(const std::string& path, File& folder) const
{
    folder = File();
    const int fd = Retried([&] { return m_calls.Open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0); });
    if (fd < 0)
        return FileError::FromErrno(errno, "open the folder", path);
    folder = File(*this, fd, path);
    return {};
}

FileError FileSystem::MakeFolder(const std::string& path, mode_t mode) const
{
    if (Retried([&] { return m_calls.Mkdir(path.c_str(), mode); }) != 0 && errno != EEXIST)
        return FileError::FromErrno(errno, "create the folder", path);
    return {};
}

FileError FileSystem::Rename(const std::string& from, const std::string& to) const
{
    if (Retried([&] { return m_calls.Rename(from.c_str(), to.c_str()); }) != 0)
        return FileError::FromErrno(errno, "rename " + from + " to", to);
    return {};
}

FileError FileSystem::Remove(const std::string& path) const
{
    if (Retried([&] { return m_calls.Unlink(path.c_str()); }) != 0 && errno != ENOENT)
        return FileError::FromErrno(errno, "delete", path);
    return {};
}

FileError FileSystem::SyncFolder(const std::string& folder) const
{
    File opened;
    if (FileError error = OpenFolder(folder, opened))
        return error;
    if (FileError error = opened.Sync()) {
        error.Operation = "sync the folder";
        return error;
    }
    return opened.Close();
}

// -------------------------------------------------------------------- File

File::File(const FileSystem& files, int fd, std::string path) : m_files(&files), m_fd(fd), m_path(std::move(path))
{
}

File::File(File&& other) noexcept
    : m_files(other.m_files), m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        Close();
        m_files = other.m_files;
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

File::~File()
{
    Close();
}

FileError File::Failed(const char* operation) const
{
    return FileError::FromErrno(errno, operation, m_path);
}

FileError File::Write(std::string_view bytes) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "write", m_path);
    while (!bytes.empty()) {
        const ssize_t written = Retried([&] { return m_files->Call().Write(m_fd, bytes.data(), bytes.size()); });
        if (written < 0)
            return Failed("write");
        if (written == 0)
            return FileError::Found(FileFault::DiskFull, "write", m_path);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

FileError File::WriteAt(std::string_view bytes, off_t offset) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "write", m_path);
    while (!bytes.empty()) {
        const ssize_t written =
            Retried([&] { return m_files->Call().Pwrite(m_fd, bytes.data(), bytes.size(), offset); });
        if (written < 0)
            return Failed("write");
        if (written == 0)
            return FileError::Found(FileFault::DiskFull, "write", m_path);
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return {};
}

FileError File::Read(char* data, std::size_t size, std::size_t& got) const
{
    got = 0;
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "read", m_path);
    const ssize_t read = Retried([&] { return m_files->Call().Read(m_fd, data, size); });
    if (read < 0)
        return Failed("read");
    got = static_cast<std::size_t>(read);
    return {};
}

FileError File::Sync(bool dataOnly) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "sync", m_path);
    const auto& calls = m_files->Call();
    const int result = Retried([&] { return dataOnly ? calls.Fdatasync(m_fd) : calls.Fsync(m_fd); });
    if (result != 0 && errno != EINVAL)
        return Failed("sync");
    return {};
}

FileError File::Truncate(off_t length) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "truncate", m_path);
    if (Retried([&] { return m_files->Call().Ftruncate(m_fd, length); }) != 0)
        return Failed("truncate");
    return {};
}

FileError File::Status(struct stat& status) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "examine", m_path);
    if (m_files->Call().Fstat(m_fd, &status) != 0)
        return Failed("examine");
    return {};
}

FileError File::Protect(mode_t mode) const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "protect", m_path);
    if (Retried([&] { return m_files->Call().Fchmod(m_fd, mode); }) != 0)
        return Failed("protect");
    return {};
}

FileError File::Lock() const
{
    if (m_fd < 0)
        return FileError::Found(FileFault::NotOpen, "lock", m_path);
    if (Retried([&] { return m_files->Call().Flock(m_fd, LOCK_EX | LOCK_NB); }) != 0)
        return Failed("lock");
    return {};
}

FileError File::Close()
{
    if (m_fd < 0)
        return {};
    const int result = m_files->Call().Close(std::exchange(m_fd, -1));
    // After EINTR the descriptor is gone all the same on Linux.
    if (result != 0 && errno != EINTR)
        return Failed("close");
    return {};
}
