#include "JournalFile.h"

#include "CaseJournal.h"

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

    ASSERT_EQ(::unlink(Path(JournalFileName).c_str()), 0);
    ASSERT_EQ(::mkdir(Path(JournalFileName).c_str(), 0700), 0);
    const StoredJournal unreadable = ReadJournal(Folder());
    EXPECT_FALSE(unreadable.Text);
    EXPECT_EQ(unreadable.Problem, "cannot read " + Path(JournalFileName) + ": Is a directory");
}

TEST_F(JournalFileTest, SetAsideKeepsTheLastBadJournal)
{
    EXPECT_TRUE(SetAside(Folder()));
    for (const std::int64_t steps : {1, 2}) {
        ASSERT_EQ(WriteJournalFile(Folder(), Record(steps)), "");
        EXPECT_TRUE(SetAside(Folder()));
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
    EXPECT_EQ(problem, "cannot use " + Path("file") + " as the journal's folder");
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
    EXPECT_FALSE(second.Held());
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
}

} // namespace
