#include "JournalFile.h"

#include "CaseJournal.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr mode_t FolderMode = 0700;
constexpr mode_t FileMode = 0600;

std::string Bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

std::string InFolder(const std::string& folder, const char* name)
{
    return folder + '/' + name;
}

// "cannot <what> <path>: <reason>", from errno.
std::string Failure(const char* what, const std::string& path)
{
    char buffer[256];
    const char* reason = strerror_r(errno, buffer, sizeof buffer);
    return std::string("cannot ") + what + ' ' + path + ": " + reason;
}

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes a rename or an unlink in `folder` survive a power cut.
std::string SyncFolder(const std::string& folder)
{
    const int fd = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return Failure("open the folder", folder);
    std::string problem;
    if (::fsync(fd) != 0)
        problem = Failure("sync the folder", folder);
    ::close(fd);
    return problem;
}

std::string WriteFile(const std::string& folder, std::string_view text)
{
    const std::string temp = InFolder(folder, JournalTempFileName);
    const std::string journal = InFolder(folder, JournalFileName);
    const int fd = OpenRetrying(temp, O_WRONLY | O_CREAT | O_TRUNC, FileMode);
    if (fd < 0)
        return Failure("create", temp);
    std::string problem;
    // A temporary file left by someone else keeps its mode on O_CREAT.
    if (::fchmod(fd, FileMode) != 0)
        problem = Failure("protect", temp);
    else if (!WriteAll(fd, text))
        problem = Failure("write", temp);
    else if (::fsync(fd) != 0)
        problem = Failure("sync", temp);
    if (::close(fd) != 0 && problem.empty() && errno != EINTR)
        problem = Failure("close", temp);
    if (problem.empty() && ::rename(temp.c_str(), journal.c_str()) != 0)
        problem = Failure("rename the new journal to", journal);
    if (!problem.empty()) {
        // The old journal stays as it was.
        ::unlink(temp.c_str());
        return problem;
    }
    return SyncFolder(folder);
}

// Keeps the first problem met.
void Unlink(const std::string& path, std::string& problem)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT && problem.empty())
        problem = Failure("delete", path);
}

} // namespace

QString JournalFolder(std::string* problem)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (folder.isEmpty()) {
        if (problem)
            *problem = "the system names no folder for the program's data";
        return {};
    }
    return PrepareJournalFolder(folder, problem) ? folder : QString();
}

bool PrepareJournalFolder(const QString& folder, std::string* problem)
{
    const std::string path = Bytes(folder);
    // Every missing level, not only the last, is made private.
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (::mkdir(level.c_str(), FolderMode) != 0 && errno != EEXIST) {
            if (problem)
                *problem = Failure("create the folder", level);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        if (problem)
            *problem = "cannot use " + path + " as the journal's folder";
        return false;
    }
    if ((status.st_mode & 077) != 0 && ::chmod(path.c_str(), FolderMode) != 0) {
        if (problem)
            *problem = Failure("protect the folder", path);
        return false;
    }
    return true;
}

std::string WriteJournalFile(const QString& folder, std::string_view text)
{
    return WriteFile(Bytes(folder), text);
}

StoredJournal ReadJournal(const QString& folder)
{
    const std::string path = InFolder(Bytes(folder), JournalFileName);
    StoredJournal stored;
    const int fd = OpenRetrying(path, O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT)
            stored.Problem = Failure("open", path);
        return stored;
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const std::size_t room = sedalyn::JournalMaxBytes + 1 - text.size();
        const ssize_t got = room == 0 ? 0 : ::read(fd, buffer, std::min(room, sizeof buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            stored.Problem = Failure("read", path);
            break;
        }
        if (got == 0) {
            stored.Text = std::move(text);
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return stored;
}

bool SetAside(const QString& folder)
{
    const std::string bytes = Bytes(folder);
    const std::string journal = InFolder(bytes, JournalFileName);
    const std::string aside = InFolder(bytes, JournalSetAsideName);
    if (::rename(journal.c_str(), aside.c_str()) != 0)
        return errno == ENOENT;
    return SyncFolder(bytes).empty();
}

// ------------------------------------------------------------------ writer

JournalWriter::JournalWriter(const QString& folder)
    : m_folder(Bytes(folder)), m_thread([this] { Run(); })
{
}

JournalWriter::~JournalWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void JournalWriter::Submit(std::string text)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(text);
        ++m_submitted;
    }
    m_work.notify_one();
}

bool JournalWriter::Flush()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_submitted;
    m_settled.wait(lock, [&] { return m_done >= target; });
    return m_lastError.empty();
}

bool JournalWriter::Remove()
{
    std::unique_lock lock(m_mutex);
    m_pending.reset();
    m_settled.wait(lock, [&] { return !m_writing; });
    // The worker takes nothing new while the lock is held.
    m_done = m_submitted;
    std::string problem;
    Unlink(InFolder(m_folder, JournalFileName), problem);
    Unlink(InFolder(m_folder, JournalTempFileName), problem);
    if (problem.empty())
        problem = SyncFolder(m_folder);
    m_lastError = std::move(problem);
    m_settled.notify_all();
    return m_lastError.empty();
}

std::string JournalWriter::LastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastError;
}

void JournalWriter::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [&] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        const std::string text = std::move(*m_pending);
        m_pending.reset();
        const std::uint64_t generation = m_submitted;
        m_writing = true;
        lock.unlock();
        std::string problem = WriteFile(m_folder, text);
        lock.lock();
        m_writing = false;
        m_lastError = std::move(problem);
        m_done = std::max(m_done, generation);
        m_settled.notify_all();
    }
}

// -------------------------------------------------------------------- lock

JournalLock::JournalLock(const QString& folder) : m_folder(Bytes(folder))
{
}

JournalLock::~JournalLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool JournalLock::Acquire()
{
    if (m_fd >= 0)
        return true;
    const std::string path = InFolder(m_folder, JournalLockFileName);
    // Close-on-exec: a program started from here must not keep the lock.
    const int fd = OpenRetrying(path, O_RDWR | O_CREAT, FileMode);
    if (fd < 0) {
        m_problem = Failure("open", path);
        return false;
    }
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_problem = errno == EWOULDBLOCK ? "another running Sedalyn keeps the case journal"
                                         : Failure("lock", path);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_problem.clear();
    return true;
}

JournalKeeper::JournalKeeper(const QString& folder) : m_folder(folder)
{
    if (folder.isEmpty() || !PrepareJournalFolder(folder, &m_problem))
        return;
    // One journal for one running Sedalyn: a second one must not take over
    // the case of the first.
    auto lock = std::make_unique<JournalLock>(folder);
    if (!lock->Acquire()) {
        m_absence = Absence::HeldElsewhere;
        return;
    }
    m_lock = std::move(lock);
    m_writer = std::make_unique<JournalWriter>(folder);
    m_absence = Absence::None;
}
