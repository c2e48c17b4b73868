#include "JournalFile.h"

#include "CaseJournal.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

std::string WriteFile(const FileSystem& files, const std::string& folder, std::string_view text)
{
    const std::string temp = InFolder(folder, JournalTempFileName);
    const std::string journal = InFolder(folder, JournalFileName);
    File file;
    FileError error = files.CreateFresh(temp, FileMode, file);
    const bool created = !error;
    if (!error)
        error = file.Write(text);
    if (!error)
        error = file.Sync();
    if (FileError closed = file.Close(); !error)
        error = std::move(closed);
    if (!error)
        error = files.Rename(temp, journal);
    if (error) {
        // The old journal stays as it was.
        if (created)
            (void)files.Remove(temp);
        return error.Message();
    }
    return files.SyncFolder(folder).Message();
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

bool PrepareJournalFolder(const QString& folder, std::string* problem, FileSystem& files)
{
    const auto fail = [problem](std::string text) {
        if (problem)
            *problem = std::move(text);
        return false;
    };
    const std::string path = Bytes(folder);
    // Every missing level, not only the last, is made private.
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        if (const FileError error = files.MakeFolder(path.substr(0, slash), FolderMode))
            return fail(error.Message());
        if (slash == std::string::npos)
            break;
    }
    // Checked and protected through one descriptor, whatever the path
    // names by the time it is used.
    File opened;
    struct stat status {};
    FileError error = files.OpenFolder(path, opened);
    if (!error)
        error = opened.Status(status);
    if (error)
        return fail("cannot use " + path + " as the journal's folder: " + error.Reason());
    if ((status.st_mode & 077) != 0) {
        if (FileError refused = opened.Protect(FolderMode)) {
            refused.Operation = "protect the folder";
            return fail(refused.Message());
        }
    }
    return true;
}

std::string WriteJournalFile(const QString& folder, std::string_view text, FileSystem& files)
{
    return WriteFile(files, Bytes(folder), text);
}

StoredJournal ReadJournal(const QString& folder, FileSystem& files)
{
    const std::string path = InFolder(Bytes(folder), JournalFileName);
    StoredJournal stored;
    File file;
    if (const FileError error = files.OpenRegular(path, O_RDONLY, file)) {
        if (error.Errno != ENOENT)
            stored.Problem = error.Message();
        return stored;
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const std::size_t room = sedalyn::JournalMaxBytes + 1 - text.size();
        std::size_t got = 0;
        if (room > 0) {
            if (const FileError error = file.Read(buffer, std::min(room, sizeof buffer), got)) {
                stored.Problem = error.Message();
                break;
            }
        }
        if (got == 0) {
            stored.Text = std::move(text);
            break;
        }
        text.append(buffer, got);
    }
    return stored;
}

std::string SetAside(const QString& folder, FileSystem& files)
{
    const std::string bytes = Bytes(folder);
    const std::string journal = InFolder(bytes, JournalFileName);
    const std::string aside = InFolder(bytes, JournalSetAsideName);
    if (const FileError error = files.Rename(journal, aside))
        return error.Errno == ENOENT ? std::string() : error.Message();
    return files.SyncFolder(bytes).Message();
}

// ------------------------------------------------------------------ writer

JournalWriter::JournalWriter(const QString& folder, FileSystem& files)
    : m_folder(Bytes(folder)), m_files(files), m_thread([this] { Run(); })
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
    FileError error = m_files.Remove(InFolder(m_folder, JournalFileName));
    if (FileError temp = m_files.Remove(InFolder(m_folder, JournalTempFileName)); !error)
        error = std::move(temp);
    if (!error)
        error = m_files.SyncFolder(m_folder);
    m_lastError = error.Message();
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
        std::string problem = WriteFile(m_files, m_folder, text);
        lock.lock();
        m_writing = false;
        m_lastError = std::move(problem);
        m_done = std::max(m_done, generation);
        m_settled.notify_all();
    }
}

// -------------------------------------------------------------------- lock

JournalLock::JournalLock(const QString& folder, FileSystem& files) : m_folder(Bytes(folder)), m_files(files)
{
}

bool JournalLock::Acquire()
{
    if (m_file.IsOpen())
        return true;
    // Close-on-exec: a program started from here must not keep the lock.
    File file;
    FileError error = m_files.OpenRegular(InFolder(m_folder, JournalLockFileName), O_RDWR | O_CREAT, file, FileMode);
    if (!error)
        error = file.Lock();
    if (error) {
        m_heldElsewhere = error.Fault == FileFault::Locked;
        m_problem = m_heldElsewhere ? "another running Sedalyn keeps the case journal" : error.Message();
        return false;
    }
    m_file = std::move(file);
    m_heldElsewhere = false;
    m_problem.clear();
    return true;
}

JournalKeeper::JournalKeeper(const QString& folder, FileSystem& files) : m_folder(folder)
{
    if (folder.isEmpty() || !PrepareJournalFolder(folder, &m_problem, files))
        return;
    // One journal for one running Sedalyn: a second one must not take over
    // the case of the first.
    auto lock = std::make_unique<JournalLock>(folder, files);
    if (!lock->Acquire()) {
        if (lock->HeldElsewhere())
            m_absence = Absence::HeldElsewhere;
        else
            m_problem = lock->Problem();
        return;
    }
    m_lock = std::move(lock);
    m_writer = std::make_unique<JournalWriter>(folder, files);
    m_absence = Absence::None;
}
