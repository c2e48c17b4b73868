// TDataFile: the bytes it writes and its classic error state.

#include "CaseFixture.h"
#include "DataFile.h"
#include "QtTestMain.h"

#include <QTemporaryDir>
#include <QTest>

using casefixture::ReadFile;

class DataFileTest : public QObject {
    Q_OBJECT

private slots:
    // Each line is in the file as soon as it is written; a second Rewrite
    // of the same file starts it afresh.
    void linesEndInCrLfOneBytePerCharacter_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << QStringList{QStringLiteral("Gender,Male"), QStringLiteral("a, b")}
                               << QByteArray("Gender,Male\r\na, b\r\n");
        QTest::newRow("empty lines") << QStringList{QString(), QString()} << QByteArray("\r\n\r\n");
        QTest::newRow("latin-1") << QStringList{QStringLiteral("Ren\u00e9e")} << QByteArray("Ren\xe9" "e\r\n");
        QTest::newRow("beyond latin-1") << QStringList{QStringLiteral("5 \u20ac, \u03bc")}
                                        << QByteArray("5 ?, ?\r\n");
    }
    void linesEndInCrLfOneBytePerCharacter()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        TDataFile file;
        file.Rewrite(path);
        file.WriteLine(QStringLiteral("a long first case that must not survive"));
        file.Close();
        file.Rewrite(path);
        for (const QString& line : lines)
            file.WriteLine(line);
        QCOMPARE(ReadFile(path), bytes);
        file.Close();
        QCOMPARE(file.IOResult(), 0);
        QCOMPARE(ReadFile(path), bytes);
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

    // Root may write anywhere on disk, but not create files in /proc.
    void failedOpenIsNotOpen_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::addColumn<int>("error"); // 0: any
        QTest::newRow("in /proc") << false << 0;
        QTest::newRow("a directory") << true << int(IoAccessDenied);
    }
    void failedOpenIsNotOpen()
    {
        QFETCH(bool, directory);
        QFETCH(int, error);
        QTemporaryDir dir;
        TDataFile file;
        file.Rewrite(directory ? dir.path() : QStringLiteral("/proc/sedalyn-case.csv"));
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
