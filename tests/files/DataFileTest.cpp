// TDataFile: the bytes it writes, what it refuses to open, and its classic
// error state.

#include "CaseSupport.h"
#include "DataFile.h"
#include "QtTestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using casesupport::FakeDisk;
using casesupport::ReadFile;

class DataFileTest : public QObject {
    Q_OBJECT

private slots:
    // The lines reach the disk in one write, forced out at once, in the
    // codeset; a second Rewrite of the same file starts it afresh.
    void linesInOneSyncedWriteInTheCodeset_data()
    {
        QTest::addColumn<QString>("codeset");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        const QStringList accents{QStringLiteral("Ren\u00e9e, 5 \u20ac, \u03bc")};
        QTest::newRow("plain") << "UTF-8" << QStringList{"Gender,Male", "", "a, b"}
                               << QByteArray("Gender,Male\r\n\r\na, b\r\n");
        QTest::newRow("utf-8") << "UTF-8" << accents << QByteArray("Ren\xc3\xa9" "e, 5 \xe2\x82\xac, \xce\xbc\r\n");
        QTest::newRow("latin-9") << "ISO-8859-15" << accents << QByteArray("Ren\xe9" "e, 5 \xa4, ?\r\n");
        // A missing character inside a shift state is shifted back first.
        QTest::newRow("stateful") << "ISO-2022-JP" << QStringList{QStringLiteral("\u65e5\u00e9\u65e5")}
                                  << QByteArray("\x1b$BF|\x1b(B?\x1b$BF|\x1b(B\r\n");
        QTest::newRow("unknown codeset") << "NO-SUCH-CODESET" << QStringList{QStringLiteral("\u00e9")}
                                         << QByteArray("\xc3\xa9\r\n");
    }
    void linesInOneSyncedWriteInTheCodeset()
    {
        QFETCH(QString, codeset);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        TDataFile file;
        file.Rewrite(path);
        file.WriteLine(QStringLiteral("a long first case that must not survive"));
        file.Close();
        FakeDisk disk;
        file.SetDiskCalls(disk.Calls());
        file.Rewrite(path, codeset.toStdString());
        file.WriteLines(lines);
        QCOMPARE(disk.made, (QStringList{"write", "sync"}));
        QCOMPARE(ReadFile(path), bytes);
        file.Close();
        QCOMPARE(file.IOResult(), 0);
        QCOMPARE(ReadFile(path), bytes);
    }

    // A kill between the two pages of a row leaves its start a hole of NULs,
    // never its start without its end.
    void rowAcrossPagesIsWrittenLastPageFirst()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        const auto page = qsizetype(::sysconf(_SC_PAGESIZE));
        TDataFile file;
        file.Rewrite(path);
        file.WriteLine(QString(page - 12, u'x')); // ends 10 bytes before the page does
        const QByteArray before = ReadFile(path);
        QByteArray killed; // the file as a kill before the second write leaves it
        const TDataFile::DiskCalls system = TDataFile::SystemDisk();
        file.SetDiskCalls({[&](int fd, const void* data, std::size_t size, off_t offset) {
                               killed = ReadFile(path);
                               return system.Write(fd, data, size, offset);
                           },
                           system.Sync});
        file.WriteLine(QStringLiteral("12:00:30, 6.5, 1.23"));
        const QByteArray row = "12:00:30, 6.5, 1.23\r\n";
        QCOMPARE(ReadFile(path), before + row);
        QCOMPARE(killed, before + QByteArray(10, '\0') + row.mid(10));
    }

    void neverOpenedFileReports103AndClears_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("write") << true;
        QTest::newRow("close") << false;
    }
    void neverOpenedFileReports103AndClears()
    {
        QFETCH(bool, write);
        TDataFile file;
        if (write)
            file.WriteLine(QStringLiteral("lost"));
        else
            file.Close();
        QCOMPARE(file.IOResult(), IoFileNotOpen);
        QCOMPARE(file.IOResult(), 0);
    }

    // Root may write anywhere on disk, but not create files in /proc. A named
    // pipe that nobody reads must not hold the open.
    void failedOpenIsNotOpen_data()
    {
        QTest::addColumn<QString>("path"); // empty: a directory
        QTest::addColumn<int>("error");    // 0: any
        QTest::newRow("in /proc") << "/proc/sedalyn-case.csv" << 0;
        QTest::newRow("a directory") << "" << int(IoAccessDenied);
        QTest::newRow("a device") << "/dev/null" << int(IoAccessDenied);
        QTest::newRow("a named pipe") << "pipe" << 0;
    }
    void failedOpenIsNotOpen()
    {
        QFETCH(QString, path);
        QFETCH(int, error);
        QTemporaryDir dir;
        if (path == QLatin1String("pipe")) {
            path = dir.filePath(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        TDataFile file;
        file.Rewrite(path.isEmpty() ? dir.path() : path);
        QVERIFY(!file.IsOpen());
        const int result = file.IOResult();
        QVERIFY(result != 0);
        if (error != 0)
            QCOMPARE(result, error);
        file.WriteLine(QStringLiteral("lost"));
        QCOMPARE(file.IOResult(), IoFileNotOpen);
    }
};

SEDALYN_TEST_CLASS(DataFileTest)
#include "DataFileTest.moc"
