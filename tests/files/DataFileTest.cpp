// TDataFile: the bytes it writes, what it refuses to open, what a failing
// disk leaves of it, and its classic error state.

#include "DataFile.h"
#include "FileFaults.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using filefaults::Cue;
using filefaults::FailOnCue;
using filefaults::Obstacle;
using filefaults::ObstacleCase;

// `text` with each "%" made `path`.
std::string WithPath(std::string text, const std::string& path)
{
    for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + path.size()))
        text.replace(at, 1, path);
    return text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<cannot read " + path + ">";
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    std::string Path(const char* name = "case.csv") const { return (m_dir.path() + '/' + name).toStdString(); }
    QString QPath(const char* name = "case.csv") const { return QString::fromStdString(Path(name)); }

private:
    QTemporaryDir m_dir;
};

// ------------------------------------------------------------- the bytes

struct BytesCase {
    const char* name;
    const char* codeset;
    QStringList lines;
    std::string bytes;
};

void PrintTo(const BytesCase& c, std::ostream* os)
{
    *os << c.name;
}

class DataFileBytes : public DataFileTest, public ::testing::WithParamInterface<BytesCase> {};

// The lines reach the disk in one write, forced out at once, in the
// codeset; a second Rewrite of the same file starts it afresh.
TEST_P(DataFileBytes, LinesInOneSyncedWriteInTheCodeset)
{
    std::vector<std::string> made;
    FileSystem::Calls calls = FileSystem::SystemCalls();
    calls.Pwrite = [&made, write = calls.Pwrite](int fd, const void* data, std::size_t size, off_t at) {
        made.push_back("write");
        return write(fd, data, size, at);
    };
    calls.Fdatasync = [&made, sync = calls.Fdatasync](int fd) {
        made.push_back("sync");
        return sync(fd);
    };
    FileSystem files(calls);
    TDataFile file(files);
    file.Rewrite(QPath());
    file.WriteLines({QStringLiteral("a long first case that must not survive")});
    file.Close();
    made.clear();
    file.Rewrite(QPath(), GetParam().codeset);
    file.WriteLines(GetParam().lines);
    EXPECT_EQ(made, (std::vector<std::string>{"write", "sync"}));
    EXPECT_EQ(ReadFile(Path()), GetParam().bytes);
    file.Close();
    EXPECT_EQ(file.IOResult(), 0);
    EXPECT_EQ(ReadFile(Path()), GetParam().bytes);
}

const QStringList kAccents{QStringLiteral("Ren\u00e9e, 5 \u20ac, \u03bc")};

INSTANTIATE_TEST_SUITE_P(
    Codesets, DataFileBytes,
    ::testing::Values(
        BytesCase{"Plain", "UTF-8", {"Gender,Male", "", "a, b"}, "Gender,Male\r\n\r\na, b\r\n"},
        BytesCase{"Utf8", "UTF-8", kAccents, "Ren\xc3\xa9" "e, 5 \xe2\x82\xac, \xce\xbc\r\n"},
        BytesCase{"Latin9", "ISO-8859-15", kAccents, "Ren\xe9" "e, 5 \xa4, ?\r\n"},
        // A missing character inside a shift state is shifted back first.
        BytesCase{"Stateful", "ISO-2022-JP", {QStringLiteral("\u65e5\u00e9\u65e5")},
                  "\x1b$BF|\x1b(B?\x1b$BF|\x1b(B\r\n"},
        BytesCase{"UnknownCodeset", "NO-SUCH-CODESET", {QStringLiteral("\u00e9")}, "\xc3\xa9\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// A kill between the two pages of a row leaves its start a hole of NULs,
// never its start without its end.
TEST_F(DataFileTest, RowAcrossPagesIsWrittenLastPageFirst)
{
    const auto page = static_cast<int>(::sysconf(_SC_PAGESIZE));
    std::string killed; // the file as a kill before the second write leaves it
    bool first = true;
    FileSystem::Calls calls = FileSystem::SystemCalls();
    calls.Pwrite = [&, write = calls.Pwrite](int fd, const void* data, std::size_t size, off_t at) {
        if (!std::exchange(first, false))
            killed = ReadFile(Path());
        return write(fd, data, size, at);
    };
    FileSystem files(calls);
    TDataFile file(files);
    file.Rewrite(QPath());
    file.WriteLines({QString(page - 12, u'x')}); // ends 10 bytes before the page does
    const std::string before = ReadFile(Path());
    file.WriteLines({QStringLiteral("12:00:30, 6.5, 1.23")});
    const std::string row = "12:00:30, 6.5, 1.23\r\n";
    EXPECT_EQ(ReadFile(Path()), before + row);
    EXPECT_EQ(killed, before + std::string(10, '\0') + row.substr(10));
}

// ------------------------------------------------------ what is refused

TEST_F(DataFileTest, NeverOpenedFileReports103AndClears)
{
    for (const bool write : {true, false}) {
        TDataFile file;
        if (write)
            file.WriteLines({QStringLiteral("lost")});
        else
            file.Close();
        EXPECT_EQ(file.IOResult(), IoFileNotOpen) << write;
        EXPECT_EQ(file.IOResult(), 0);
        EXPECT_EQ(file.Problem(), std::string("cannot ") + (write ? "write" : "close") + ": the file is not open");
    }
}

// Reopened at a length, the file keeps every whole line past it and loses
// only a torn last one: without its line end, or with the hole of NULs a
// kill between a row's two page writes leaves.
TEST_F(DataFileTest, ReopenCutsOnlyATornTail)
{
    const QByteArray header = "head\r\n";
    const QByteArray whole = "12:00:30, 10, 1.00\r\n12:01:00, 10, 2.00\r\n";
    const struct {
        const char* name;
        QByteArray tail;
        QByteArray kept;
    } rows[] = {
        {"nothing after", "", ""},
        {"whole rows", whole, whole},
        {"a row without its end", whole + "12:01:30, 10, 3.", whole},
        {"a hole of NULs", whole + QByteArray(6, '\0') + "0, 10, 3.00\r\n", whole},
    };
    for (const auto& row : rows) {
        QFile raw(QPath());
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(header + row.tail);
        raw.close();
        TDataFile file;
        file.Reopen(QPath(), static_cast<off_t>(header.size()));
        ASSERT_TRUE(file.IsOpen()) << row.name;
        EXPECT_EQ(file.WholeLinesAfter().toStdString(), row.kept.toStdString()) << row.name;
        EXPECT_EQ(file.Length(), header.size() + row.kept.size()) << row.name;
        file.Close();
        EXPECT_EQ(ReadFile(Path()), (header + row.kept).toStdString()) << row.name;
    }
}

// A case carried on writes only to a file of its own user: a hand-made
// journal could name anyone's.
TEST_F(DataFileTest, ReopenRefusesAnotherUsersFile)
{
    {
        TDataFile file;
        file.Rewrite(QPath());
        file.WriteLines({QStringLiteral("12:00:30, 10")});
        file.Close();
    }
    if (::geteuid() != 0 || ::chown(Path().c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "only root can give the file to another user";
    TDataFile file;
    file.Reopen(QPath(), 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.IOResult(), IoAccessDenied);
    EXPECT_EQ(file.Problem(), "cannot open " + Path() + ": it belongs to another user");
}

struct RefusedCase {
    const char* name;
    const char* path;
    int code;
    const char* problem;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusedPath : public DataFileTest, public ::testing::WithParamInterface<RefusedCase> {};

// Root may write anywhere on disk, but not create files in /proc.
TEST_P(RefusedPath, IsNotOpened)
{
    TDataFile file;
    file.Rewrite(QString::fromLatin1(GetParam().path));
    EXPECT_FALSE(file.IsOpen());
    const int code = file.IOResult();
    EXPECT_NE(code, 0);
    if (GetParam().code != 0) {
        EXPECT_EQ(code, GetParam().code);
    }
    const std::string path = GetParam().path;
    EXPECT_EQ(file.Problem().rfind("cannot open" + (path.empty() ? "" : ' ' + path) + ": ", 0), 0u) << file.Problem();
    EXPECT_NE(file.Problem().find(GetParam().problem), std::string::npos) << file.Problem();
    file.WriteLines({QStringLiteral("lost")});
    EXPECT_EQ(file.IOResult(), IoFileNotOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RefusedPath,
    ::testing::Values(RefusedCase{"InProc", "/proc/sedalyn-case.csv", 0, ""},
                      RefusedCase{"Device", "/dev/null", IoAccessDenied, "it is a device, not a file"},
                      RefusedCase{"Empty", "", IoFileNotFound, "No such file or directory"}),
    [](const auto& p) { return std::string(p.param.name); });

class DataFileObstacle : public DataFileTest,
                         public ::testing::WithParamInterface<std::tuple<bool, ObstacleCase>> {};

// Whatever stands at the path is refused at once, by what it is, and left
// as it was; a link is never followed, nor its target created.
TEST_P(DataFileObstacle, IsRefusedAtOnceByWhatItIs)
{
    const auto& [reopen, obstacle] = GetParam();
    const std::string outside = Path("outside.csv");
    ASSERT_TRUE(filefaults::Place(obstacle.what, Path(), outside));
    TDataFile file;
    EXPECT_TRUE(filefaults::ReturnsAtOnce(
        [&, reopen = reopen] {
            if (reopen)
                file.Reopen(QPath(), 0);
            else
                file.Rewrite(QPath());
        },
        Path()));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.IOResult(), IoAccessDenied);
    EXPECT_EQ(file.Problem(), "cannot open " + Path() + ": " + obstacle.found);
    EXPECT_TRUE(filefaults::OutsideUntouched(obstacle.what, outside));
    EXPECT_EQ(FileSystem::System().Kind(Path()), obstacle.what == Obstacle::Fifo     ? FileFault::IsPipe
                                                 : obstacle.what == Obstacle::Folder ? FileFault::IsDirectory
                                                                                     : FileFault::IsSymlink);
}

INSTANTIATE_TEST_SUITE_P(
    AtTheDataFile, DataFileObstacle, ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(filefaults::kObstacles)),
    [](const auto& p) {
        return std::string(std::get<0>(p.param) ? "Reopen" : "Rewrite") + std::get<1>(p.param).name;
    });

// ------------------------------------------------------ a failing disk

struct FaultCase {
    const char* name;
    void (*inject)(FileSystem::Calls&, std::shared_ptr<Cue>);
    bool onOpen;         // the fault meets the open, else the second write
    int code;            // 0: the lines are kept
    const char* problem; // after "cannot "
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

template <auto Entry, int Error>
void Inject(FileSystem::Calls& calls, std::shared_ptr<Cue> cue)
{
    FailOnCue(calls.*Entry, Error, std::move(cue));
}

using C = FileSystem::Calls;

class DataFileFault : public DataFileTest, public ::testing::WithParamInterface<FaultCase> {};

// A write the disk refuses leaves the file as the last whole line left it
// and says why; an interrupted call is made again.
TEST_P(DataFileFault, LeavesNothingBehindAndSaysWhy)
{
    const FaultCase& c = GetParam();
    auto cue = std::make_shared<Cue>();
    FileSystem::Calls calls = FileSystem::SystemCalls();
    c.inject(calls, cue);
    FileSystem files(calls);
    TDataFile file(files);
    const auto strike = [&] { cue->fail = c.code == 0 ? 3 : -1; };
    if (c.onOpen)
        strike();
    file.Rewrite(QPath());
    file.WriteLines({QStringLiteral("first")});
    strike();
    file.WriteLines({QStringLiteral("second"), QStringLiteral("third")});
    EXPECT_EQ(file.IOResult(), c.code);
    cue->fail = 0;
    if (c.code == 0) {
        EXPECT_EQ(ReadFile(Path()), "first\r\nsecond\r\nthird\r\n");
        EXPECT_EQ(file.Problem(), "");
        return;
    }
    EXPECT_EQ(file.Problem(), WithPath(std::string("cannot ") + c.problem, Path()));
    EXPECT_EQ(ReadFile(Path()), c.onOpen ? "<cannot read " + Path() + ">" : "first\r\n");
    EXPECT_EQ(file.Length(), c.onOpen ? 0 : 7);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DataFileFault,
    ::testing::Values(
        FaultCase{"OpenReadOnlyDisk", Inject<&C::Open, EROFS>, true, IoAccessDenied, "open %: Read-only file system"},
        FaultCase{"OpenTooManyFiles", Inject<&C::Open, EMFILE>, true, IoTooManyOpenFiles, "open %: Too many open files"},
        FaultCase{"OpenInterrupted", Inject<&C::Open, EINTR>, true, 0, ""},
        FaultCase{"WriteDiskFull", Inject<&C::Pwrite, ENOSPC>, false, IoDiskFull, "write %: No space left on device"},
        FaultCase{"WriteDeviceFault", Inject<&C::Pwrite, EIO>, false, IoDeviceFault, "write %: Input/output error"},
        FaultCase{"WriteInterrupted", Inject<&C::Pwrite, EINTR>, false, 0, ""},
        FaultCase{"SyncDeviceFault", Inject<&C::Fdatasync, EIO>, false, IoDeviceFault, "sync %: Input/output error"},
        FaultCase{"SyncInterrupted", Inject<&C::Fdatasync, EINTR>, false, 0, ""},
        // A file system that cannot force its data keeps it as it can.
        FaultCase{"SyncUnsupported", Inject<&C::Fdatasync, EINVAL>, false, 0, ""}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
