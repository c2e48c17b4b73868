// TDataFile: the bytes it writes and its classic error state.

#include "DataFile.h"
#include "QtTestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class DataFileTest : public QObject {
    Q_OBJECT

private slots:
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
        for (const QString& line : lines)
            file.WriteLine(line);
        file.Close();
        QCOMPARE(file.IOResult(), 0);
        QCOMPARE(ReadFile(path), bytes);
    }

    void lineIsInTheFileBeforeClose()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        TDataFile file;
        file.Rewrite(path);
        file.WriteLine(QStringLiteral("12:00:30, 6, 0.24"));
        QCOMPARE(ReadFile(path), QByteArray("12:00:30, 6, 0.24\r\n"));
        file.Close();
    }

    void rewriteStartsAfresh()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        TDataFile file;
        file.Rewrite(path);
        file.WriteLine(QStringLiteral("a long first case that must not survive"));
        file.Close();
        file.Rewrite(path);
        file.WriteLine(QStringLiteral("new"));
        file.Close();
        QCOMPARE(file.IOResult(), 0);
        QCOMPARE(ReadFile(path), QByteArray("new\r\n"));
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
    void failedOpenIsNotOpen()
    {
        TDataFile file;
        file.Rewrite(QStringLiteral("/proc/sedalyn-case.csv"));
        QVERIFY(!file.IsOpen());
        QVERIFY(file.IOResult() != 0);
        file.WriteLine(QStringLiteral("lost"));
        QCOMPARE(file.IOResult(), IoFileNotOpen);
    }

    void openingADirectoryFails()
    {
        QTemporaryDir dir;
        TDataFile file;
        file.Rewrite(dir.path());
        QVERIFY(!file.IsOpen());
        QCOMPARE(file.IOResult(), IoAccessDenied);
    }
};

SEDALYN_TEST_CLASS(DataFileTest)
#include "DataFileTest.moc"
