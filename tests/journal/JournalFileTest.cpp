#include "JournalFile.h"

#include "CaseJournal.h"
#include "FileFaults.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using sedalyn::CaseJournal;
using sedalyn::FormatJournal;
using sedalyn::JournalReading;
using sedalyn::ParseJournal;

constexpr std::int64_t kNow = 1'714'561'200'000;

// `text` with each "%" made `folder`.
std::string WithFolder(std::string text, const std::string& folder)
{
    for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + folder.size()))
        text.replace(at, 1, folder);
    return text;
}

std::string Record(std::int64_t steps)
{
    CaseJournal j;
    j.Gender = "Male";
    j.Age = 53;
    j.Height = 1.77;
    j.Weight = 77;
    j.StartUtcMs = kNow - 3'600'000;
    j.SavedUtcMs = kNow;
    j.StepsTaken = steps;
    j.Models[0] = {steps / 12.0, 3.2, 1.1, 0.4, 2.9};
    // Texts of different lengths, so that no torn file can pass for a whole one.
    j.RateText = std::string(static_cast<std::size_t>(steps % 97), '6');
    return FormatJournal(j);
}

class JournalFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString Folder() const { return m_dir.path(); }
    std::string Path(const char* name) const { return (m_dir.path() + '/' + name).toStdString(); }
    bool Exists(const char* name) const { return ::access(Path(name).c_str(), F_OK) == 0; }

    std::string Stored() const
    {
        const StoredJournal stored = ReadJournal(Folder());
        EXPECT_EQ(stored.Problem, "");
        return stored.Text.value_or("<none>");
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(JournalFileTest, SubmittedTextIsOnDiskAfterFlush)
{
    JournalWriter writer(Folder());
    writer.Submit(Record(1));
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(Stored(), Record(1));
    EXPECT_EQ(writer.LastError(), "");
    EXPECT_FALSE(Exists(JournalTempFileName));
    struct stat status {};
    ASSERT_EQ(::stat(Path(JournalFileName).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(JournalFileTest, RapidSubmitsEndWithTheLast)
{
    JournalWriter writer(Folder());
    for (int steps = 1; steps <= 2000; ++steps)
        writer.Submit(Record(steps));
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(Stored(), Record(2000));
}

TEST_F(JournalFileTest, DestructionWritesWhatIsPending)
{
    {
        JournalWriter writer(Folder());
        writer.Submit(Record(1));
        writer.Submit(Record(2));
    }
    EXPECT_EQ(Stored(), Record(2));
}

// Remove at every stage: before the worker takes a text, while it writes
// one with another waiting, after it has written both. No text submitted
// before may come back, even once the worker has finished all it would do.
TEST_F(JournalFileTest, NothingReappearsAfterRemove)
{
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        {
            JournalWriter writer(Folder());
            writer.Submit(Record(round));
            writer.Submit(Record(round + 1));
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
            EXPECT_TRUE(writer.Remove()) << writer.LastError();
            EXPECT_FALSE(Exists(JournalFileName)) << round;
        }
        EXPECT_FALSE(Exists(JournalFileName)) << round;
        EXPECT_FALSE(Exists(JournalTempFileName)) << round;
    }
    JournalWriter writer(Folder());
    writer.Submit(Record(99));
    writer.Flush();
    EXPECT_EQ(Stored(), Record(99));
}

// The atomicity proper: a process writing journals without pause is killed
// at random moments; every time, the journal left parses and is whole.
TEST_F(JournalFileTest, AKillAtAnyMomentLeavesAWholeJournal)
{
    ASSERT_EQ(WriteJournalFile(Folder(), Record(0)), "");
    std::mt19937 random(7);
    std::set<std::int64_t> seen;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            JournalWriter writer(Folder());
            for (std::int64_t steps = 1;; ++steps) {
                writer.Submit(Record(steps));
                writer.Flush();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 80000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const StoredJournal stored = ReadJournal(Folder());
        ASSERT_TRUE(stored.Text) << round;
        const JournalReading reading = ParseJournal(*stored.Text, kNow);
        ASSERT_TRUE(reading.Journal) << round << ": " << reading.Problem;
        EXPECT_EQ(*stored.Text, Record(reading.Journal->StepsTaken));
        seen.insert(reading.Journal->StepsTaken);
    }
    // The kills fell at different points of the children's work.
    EXPECT_GT(seen.size(), 3u);
}

// A folder that cannot hold the journal: each write reports it and nothing
// crashes; once the folder is back, the next Submit writes.
TEST_F(JournalFileTest, AnUnusableFolderIsReportedAndRetried)
{
    const QString folder = Folder() + QStringLiteral("/data");
    std::ofstream(folder.toStdString()) << "a file where the folder should be";
    JournalWriter writer(folder);
    writer.Submit(Record(1));
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(writer.LastError(),
              "cannot create " + folder.toStdString() + "/case.journal.tmp: Not a directory");
    EXPECT_FALSE(writer.Remove());
    EXPECT_NE(writer.LastError(), "");

    ASSERT_EQ(::unlink(folder.toStdString().c_str()), 0);
    writer.Submit(Record(2));
    EXPECT_FALSE(writer.Flush());
    EXPECT_NE(writer.LastError().find("No such file or directory"), std::string::npos);

    ASSERT_TRUE(PrepareJournalFolder(folder));
    writer.Submit(Record(3));
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(writer.LastError(), "");
    EXPECT_EQ(ReadJournal(folder).Text, Record(3));
}

// ---------------------------------------------------------------- reading

TEST_F(JournalFileTest, ReadsWhatIsThere)
{
    StoredJournal none = ReadJournal(Folder());
    EXPECT_FALSE(none.Text);
    EXPECT_EQ(none.Problem, "");

    std::ofstream(Path(JournalFileName)) << std::string(sedalyn::JournalMaxBytes + 5000, 'x');
    EXPECT_EQ(ReadJournal(Folder()).Text->size(), sedalyn::JournalMaxBytes + 1);
}

TEST_F(JournalFileTest, SetAsideKeepsTheLastBadJournal)
{
    EXPECT_EQ(SetAside(Folder()), "");
    for (const std::int64_t steps : {1, 2}) {
        ASSERT_EQ(WriteJournalFile(Folder(), Record(steps)), "");
        EXPECT_EQ(SetAside(Folder()), "");
        EXPECT_FALSE(Exists(JournalFileName));
    }
    std::ifstream bad(Path(JournalSetAsideName));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(bad), {}), Record(2));
}

TEST_F(JournalFileTest, FolderIsMadeAndKeptPrivate)
{
    const QString nested = Folder() + QStringLiteral("/share/Sedalyn");
    ASSERT_TRUE(PrepareJournalFolder(nested));
    struct stat status {};
    for (const QString& level : {Folder() + QStringLiteral("/share"), nested}) {
        ASSERT_EQ(::stat(level.toStdString().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u) << level.toStdString();
    }
    ASSERT_EQ(::chmod(nested.toStdString().c_str(), 0755), 0);
    ASSERT_TRUE(PrepareJournalFolder(nested));
    ASSERT_EQ(::stat(nested.toStdString().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    std::string problem;
    std::ofstream(Path("file"));
    EXPECT_FALSE(PrepareJournalFolder(Folder() + QStringLiteral("/file"), &problem));
    EXPECT_EQ(problem, "cannot use " + Path("file") + " as the journal's folder: Not a directory");

    // A link to a folder is the user's arrangement; a dangling one makes none.
    ASSERT_EQ(::symlink(nested.toStdString().c_str(), Path("linked").c_str()), 0);
    ASSERT_EQ(::chmod(nested.toStdString().c_str(), 0755), 0);
    EXPECT_TRUE(PrepareJournalFolder(Folder() + QStringLiteral("/linked")));
    ASSERT_EQ(::stat(nested.toStdString().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
    EXPECT_FALSE(PrepareJournalFolder(Folder() + QStringLiteral("/dangling"), &problem));
    EXPECT_EQ(problem, "cannot use " + Path("dangling") + " as the journal's folder: No such file or directory");
    EXPECT_FALSE(Exists("nowhere"));
}

// ------------------------------------------------------------------- lock

// Another holder: 0 when the child got the lock, 1 when it did not.
int AcquireInChild(const QString& folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        JournalLock lock(folder);
        ::_exit(lock.Acquire() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(JournalFileTest, OneHolderAtATime)
{
    auto first = std::make_unique<JournalLock>(Folder());
    ASSERT_TRUE(first->Acquire()) << first->Problem();
    EXPECT_TRUE(first->Acquire());

    // flock belongs to the open file description: a second one in this
    // process is refused as another process is.
    JournalLock second(Folder());
    EXPECT_FALSE(second.Acquire());
    EXPECT_EQ(second.Problem(), "another running Sedalyn keeps the case journal");
    EXPECT_TRUE(second.HeldElsewhere());
    EXPECT_EQ(AcquireInChild(Folder()), 1);

    first.reset();
    EXPECT_EQ(AcquireInChild(Folder()), 0);
    EXPECT_TRUE(second.Acquire());
    EXPECT_EQ(AcquireInChild(Folder()), 1);
}

TEST_F(JournalFileTest, AKilledHolderReleasesTheLock)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        JournalLock lock(Folder());
        const char held = lock.Acquire() ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    JournalLock lock(Folder());
    EXPECT_FALSE(lock.Acquire());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(lock.Acquire()) << lock.Problem();
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(JournalFileTest, NoLockInAFolderThatIsNone)
{
    JournalLock lock(Folder() + QStringLiteral("/missing"));
    EXPECT_FALSE(lock.Acquire());
    EXPECT_EQ(lock.Problem(),
              "cannot open " + Path("missing") + "/case.lock: No such file or directory");
    EXPECT_FALSE(lock.HeldElsewhere());
}

// ------------------------------------------- what stands at the journal's paths

using filefaults::Obstacle;
using filefaults::ObstacleCase;

// One of the journal's uses of a path: it reports what it found there, or
// nothing when it took the path's place. `onFolder` is what a folder there
// gives ("%": the journal's folder); the uses that only open the path refuse
// anything but a regular file.
struct PathUse {
    const char* name;
    const char* at;
    std::string (*run)(const QString& folder);
    const char* onFolder; // null: it opens the path
};

void PrintTo(const PathUse& c, std::ostream* os)
{
    *os << c.name;
}

std::string WriteOne(const QString& folder)
{
    return WriteJournalFile(folder, Record(1));
}

std::string SetAsideOne(const QString& folder)
{
    if (const std::string problem = WriteJournalFile(folder, Record(1)); !problem.empty())
        return "setting up: " + problem;
    return SetAside(folder);
}

std::string Read(const QString& folder)
{
    const StoredJournal stored = ReadJournal(folder);
    EXPECT_FALSE(stored.Text);
    return stored.Problem;
}

std::string Keep(const QString& folder)
{
    const JournalKeeper keeper(folder);
    EXPECT_EQ(keeper.Why(), JournalKeeper::Absence::NoFolder);
    return keeper.Problem();
}

const PathUse kPathUses[] = {
    {"Read", JournalFileName, Read, nullptr},
    {"Lock", JournalLockFileName, Keep, nullptr},
    {"WriteTemporary", JournalTempFileName, WriteOne, "cannot create %/case.journal.tmp: it is a folder, not a file"},
    {"ReplaceJournal", JournalFileName, WriteOne,
     "cannot rename %/case.journal.tmp to %/case.journal: Is a directory"},
    {"SetAside", JournalSetAsideName, SetAsideOne,
     "cannot rename %/case.journal to %/case.journal.bad: Is a directory"},
};

class JournalPathObstacle : public JournalFileTest,
                            public ::testing::WithParamInterface<std::tuple<PathUse, ObstacleCase>> {};

// Never blocks, never writes or creates anything outside the folder, and
// says what it found; a path the journal replaces whole takes the place of
// anything but a folder.
TEST_P(JournalPathObstacle, ReturnsAtOnceAndSaysWhatItFound)
{
    const auto& [use, obstacle] = GetParam();
    const std::string path = Path(use.at);
    const QTemporaryDir elsewhere;
    const std::string outside = elsewhere.path().toStdString() + "/outside";
    ASSERT_TRUE(filefaults::Place(obstacle.what, path, outside));
    std::string problem = "<blocked>";
    EXPECT_TRUE(filefaults::ReturnsAtOnce([&, run = use.run] { problem = run(Folder()); }, path));
    EXPECT_TRUE(filefaults::OutsideUntouched(obstacle.what, outside));

    const std::string folder = Folder().toStdString();
    if (!use.onFolder)
        EXPECT_EQ(problem, "cannot open " + path + ": " + obstacle.found);
    else if (obstacle.what == Obstacle::Folder)
        EXPECT_EQ(problem, WithFolder(use.onFolder, folder));
    else
        EXPECT_EQ(problem, "");
    const bool stays = obstacle.what == Obstacle::Folder && use.at == std::string(JournalTempFileName);
    EXPECT_EQ(Exists(JournalTempFileName), stays);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JournalPathObstacle,
    ::testing::Combine(::testing::ValuesIn(kPathUses), ::testing::ValuesIn(filefaults::kObstacles)),
    [](const auto& p) { return std::string(std::get<0>(p.param).name) + std::get<1>(p.param).name; });

// ------------------------------------------------------ a failing disk

using filefaults::Cue;
using C = FileSystem::Calls;

struct WriteFault {
    const char* name;
    void (*inject)(FileSystem::Calls&, std::shared_ptr<Cue>);
    int pass;            // calls that succeed first
    int fail;            // then fail (-1: all)
    const char* problem; // "%": the folder; empty: none
    bool replaced;       // the new journal took the old one's place
};

void PrintTo(const WriteFault& c, std::ostream* os)
{
    *os << c.name;
}

template <auto Entry, int Error>
void Inject(FileSystem::Calls& calls, std::shared_ptr<Cue> cue)
{
    filefaults::FailOnCue(calls.*Entry, Error, std::move(cue));
}

class JournalWriteFault : public JournalFileTest, public ::testing::WithParamInterface<WriteFault> {};

// The writer's thread meets the fault: the old journal stays whole unless
// the new one took its place, no temporary file is left, the failure is
// said in words, and the next text is written once the disk is well again.
TEST_P(JournalWriteFault, KeepsAWholeJournalAndSaysWhy)
{
    const WriteFault& c = GetParam();
    ASSERT_EQ(WriteJournalFile(Folder(), Record(1)), "");
    auto cue = std::make_shared<Cue>();
    FileSystem::Calls calls = FileSystem::SystemCalls();
    c.inject(calls, cue);
    FileSystem files(calls);
    JournalWriter writer(Folder(), files);
    cue->pass = c.pass;
    cue->fail = c.fail;
    writer.Submit(Record(2));
    EXPECT_EQ(writer.Flush(), *c.problem == '\0');
    EXPECT_EQ(writer.LastError(), WithFolder(c.problem, Folder().toStdString()));
    EXPECT_EQ(Stored(), Record(c.replaced ? 2 : 1));
    EXPECT_FALSE(Exists(JournalTempFileName));

    cue->fail = 0;
    writer.Submit(Record(3));
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(writer.LastError(), "");
    EXPECT_EQ(Stored(), Record(3));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, JournalWriteFault,
    ::testing::Values(
        WriteFault{"CreateOnReadOnlyDisk", Inject<&C::Open, EROFS>, 0, -1,
                   "cannot create %/case.journal.tmp: Read-only file system", false},
        WriteFault{"WriteDiskFull", Inject<&C::Write, ENOSPC>, 0, -1,
                   "cannot write %/case.journal.tmp: No space left on device", false},
        WriteFault{"SyncDeviceFault", Inject<&C::Fsync, EIO>, 0, -1,
                   "cannot sync %/case.journal.tmp: Input/output error", false},
        WriteFault{"RenameOnReadOnlyDisk", Inject<&C::Rename, EROFS>, 0, -1,
                   "cannot rename %/case.journal.tmp to %/case.journal: Read-only file system", false},
        // In place, but not known to survive a power cut: said all the same.
        WriteFault{"FolderSyncDeviceFault", Inject<&C::Fsync, EIO>, 1, -1,
                   "cannot sync the folder %: Input/output error", true},
        WriteFault{"CreateInterrupted", Inject<&C::Open, EINTR>, 0, 3, "", true},
        WriteFault{"WriteInterrupted", Inject<&C::Write, EINTR>, 0, 3, "", true},
        WriteFault{"SyncInterrupted", Inject<&C::Fsync, EINTR>, 0, 3, "", true},
        WriteFault{"RenameInterrupted", Inject<&C::Rename, EINTR>, 0, 3, "", true}),
    [](const auto& p) { return std::string(p.param.name); });

// A lock refused for another reason than another holder says that reason,
// and the keeper says it too rather than blame another Sedalyn.
TEST_F(JournalFileTest, ALockThatFailsSaysWhy)
{
    FileSystem::Calls calls = FileSystem::SystemCalls();
    calls.Flock = [](int, int) {
        errno = ENOLCK;
        return -1;
    };
    FileSystem files(calls);
    const JournalKeeper keeper(Folder(), files);
    EXPECT_EQ(keeper.Why(), JournalKeeper::Absence::NoFolder);
    EXPECT_EQ(keeper.Problem(), "cannot lock " + Path(JournalLockFileName) + ": No locks available");
}

} // namespace
