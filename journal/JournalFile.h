#pragma once
// The journal on disk: case.journal in the program's data folder, replaced
// whole after every tick by a worker thread, so the tick never waits for the
// disk; a lock so that only one running Sedalyn keeps it.
//
// A crash, a kill or a power cut at any moment leaves the old journal or the
// new one, never a torn one: the new text goes to case.journal.tmp, which is
// synced and then renamed over case.journal, and the folder is synced.

#include "FileSystem.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

inline constexpr const char* JournalFileName = "case.journal";
inline constexpr const char* JournalTempFileName = "case.journal.tmp";
inline constexpr const char* JournalSetAsideName = "case.journal.bad";
inline constexpr const char* JournalLockFileName = "case.lock";

// Every function and class here reaches the disk through `files`, the
// system's unless a test gives its own; it must outlive what uses it.

// The folder for the journal and its lock: the program's local data folder,
// created if missing and kept to its owner (mode 0700), since the journal
// holds patient data. Empty, with `problem` set, when it cannot be made.
QString JournalFolder(std::string* problem = nullptr);
// The same for a folder of the caller's choosing. A symbolic link to a
// folder is the user's arrangement and is followed.
bool PrepareJournalFolder(const QString& folder, std::string* problem = nullptr,
                          FileSystem& files = FileSystem::System());

// Writes `text` as the journal at once, on the calling thread: a fresh
// temporary file (mode 0600), fsync, rename, fsync of the folder. Empty on
// success, else what failed, in words.
std::string WriteJournalFile(const QString& folder, std::string_view text,
                             FileSystem& files = FileSystem::System());

// The journal found at start-up. No text and no problem: there is none.
struct StoredJournal {
    std::optional<std::string> Text;
    std::string Problem; // it exists but cannot be read
};
// Reads at most one byte beyond JournalMaxBytes, which is enough to refuse it.
// Anything but a regular file at case.journal is refused at once, never
// read and never waited on, and the problem says what stands there.
StoredJournal ReadJournal(const QString& folder, FileSystem& files = FileSystem::System());

// Renames case.journal to case.journal.bad, replacing an older one, for
// inspection. Empty when done or when there was no journal, else why not.
std::string SetAside(const QString& folder, FileSystem& files = FileSystem::System());

class JournalWriter {
public:
    explicit JournalWriter(const QString& folder, FileSystem& files = FileSystem::System());
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    // Writes what is still pending, then stops the worker.
    ~JournalWriter();

    // Hands the newest text over and returns at once; a text not yet taken
    // by the worker is replaced, as only the latest one matters.
    void Submit(std::string text);

    // Waits until everything submitted so far is written (or has failed);
    // true when the last write succeeded.
    bool Flush();

    // Drops what is pending, waits for a write in progress, and deletes the
    // journal and any stale temporary file; once it returns, no text
    // submitted before can reappear. True when both are gone.
    bool Remove();

    // Why the last write or Remove failed; empty once one succeeds. Each
    // Submit tries again.
    std::string LastError() const;

private:
    void Run();

    const std::string m_folder; // as the file system names it
    const FileSystem& m_files;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;    // to the worker: a text or the stop
    std::condition_variable m_settled; // from the worker: a write is done
    std::optional<std::string> m_pending;
    std::uint64_t m_submitted = 0;     // submissions so far
    std::uint64_t m_done = 0;          // submissions written, replaced or dropped
    bool m_writing = false;
    bool m_stopping = false;
    std::string m_lastError;
    std::thread m_thread; // last: starts once the rest is built
};

// One journal for one running Sedalyn: an exclusive flock on case.lock,
// released when the lock is destroyed or the process ends, however it ends.
class JournalLock {
public:
    explicit JournalLock(const QString& folder, FileSystem& files = FileSystem::System());
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

    // True when this lock holds case.lock (again true once held); false when
    // another running Sedalyn holds it or the lock file cannot be used (it
    // must be a regular file, and is never followed if it is a link).
    bool Acquire();
    // The last Acquire failed because another running Sedalyn holds the lock.
    bool HeldElsewhere() const { return m_heldElsewhere; }
    // Why the last Acquire failed.
    const std::string& Problem() const { return m_problem; }

private:
    const std::string m_folder;
    const FileSystem& m_files;
    File m_file;
    bool m_heldElsewhere = false;
    std::string m_problem;
};

// The journal of this running program: its folder, the lock that makes it
// this program's own, and its writer. Without a usable folder or lock file,
// or with the lock held by another running Sedalyn, there is none and Why
// says so.
class JournalKeeper {
public:
    enum class Absence { None, NoFolder, HeldElsewhere };

    explicit JournalKeeper(const QString& folder, FileSystem& files = FileSystem::System());

    Absence Why() const { return m_absence; }
    // Why the folder or its lock file cannot be used (NoFolder), in words.
    const std::string& Problem() const { return m_problem; }
    const QString& Folder() const { return m_folder; }
    // Only when Why() is None.
    JournalWriter& Writer() { return *m_writer; }

private:
    QString m_folder;
    std::string m_problem;
    Absence m_absence = Absence::NoFolder;
    std::unique_ptr<JournalLock> m_lock;
    std::unique_ptr<JournalWriter> m_writer;
};
