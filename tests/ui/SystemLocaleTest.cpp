#include "QtTestMain.h"

#include "SystemLocale.h"
#include "TextFormats.h"

#include <QDate>
#include <QLocale>
#include <QTest>

namespace {

// Days since 1899-12-30.
constexpr double kMarch5th2023 = 44990;
constexpr double kJanuary1st2005 = 38353;

constexpr double kTenPastOnePm = (13 * 3600.0 + 10 * 60.0 + 9.0) / 86400.0;

} // namespace

class SystemLocaleTest : public QObject {
    Q_OBJECT

private slots:
    void fromQtLocale_data();
    void fromQtLocale();
    void formatsUnderLocale_data();
    void formatsUnderLocale();
    void dateTextAgreesWithQt_data();
    void dateTextAgreesWithQt();
    void systemLocaleNotDefaultLocale();
};

void SystemLocaleTest::fromQtLocale_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("dateSeparator");
    QTest::addColumn<bool>("leadingZero");
    QTest::addColumn<bool>("twelveHour");
    QTest::addColumn<QString>("am");
    QTest::addColumn<QString>("pm");
    QTest::addColumn<QString>("timeSeparator");

    QTest::newRow("en_US") << "en_US" << "." << "m/d/yy" << "/" << false << true << "AM" << "PM" << ":";
    QTest::newRow("de_DE") << "de_DE" << "," << "dd/mm/yy" << "." << true << false << "AM" << "PM" << ":";
    QTest::newRow("en_GB") << "en_GB" << "." << "dd/mm/yyyy" << "/" << true << false << "am" << "pm" << ":";
    QTest::newRow("fr_FR") << "fr_FR" << "," << "dd/mm/yyyy" << "/" << true << false << "AM" << "PM" << ":";
    // Month names cannot be shown: the date keeps the record's default.
    QTest::newRow("C") << "C" << "." << "m/d/yy" << "/" << true << false << "AM" << "PM" << ":";
    QTest::newRow("fi_FI") << "fi_FI" << "," << "d/m/yyyy" << "." << false << false << "ap." << "ip." << ".";
    // "yy. M. d.": the separator has a blank, the trailing full stop stays.
    QTest::newRow("ko_KR") << "ko_KR" << "." << "yy/m/d." << ". " << false << true
                           << QString::fromUtf8("오전") << QString::fromUtf8("오후") << ":";
    // "HH 'h' mm": words are no separator.
    QTest::newRow("fr_CA") << "fr_CA" << "," << "yyyy/mm/dd" << "-" << true << false << "a.m." << "p.m." << ":";
    // Quoted text comes through; the date separator inside it too.
    QTest::newRow("bg_BG") << "bg_BG" << "," << QString::fromUtf8("d/mm/yy г/") << "." << false << false
                           << QString::fromUtf8("пр.об.") << QString::fromUtf8("сл.об.") << ":";
}

void SystemLocaleTest::fromQtLocale()
{
    QFETCH(QString, name);
    QFETCH(QString, decimal);
    QFETCH(QString, dateFormat);
    QFETCH(QString, dateSeparator);
    QFETCH(bool, leadingZero);
    QFETCH(bool, twelveHour);
    QFETCH(QString, am);
    QFETCH(QString, pm);
    QFETCH(QString, timeSeparator);

    const sedalyn::LocaleSettings s = LocaleSettingsFrom(QLocale(name));
    QCOMPARE(QString::fromStdString(s.DecimalSeparator), decimal);
    QCOMPARE(QString::fromStdString(s.ShortDateFormat), dateFormat);
    QCOMPARE(QString::fromStdString(s.DateSeparator), dateSeparator);
    QCOMPARE(s.HourLeadingZero, leadingZero);
    QCOMPARE(s.TwelveHourClock, twelveHour);
    QCOMPARE(QString::fromStdString(s.AmDesignator), am);
    QCOMPARE(QString::fromStdString(s.PmDesignator), pm);
    QCOMPARE(QString::fromStdString(s.TimeSeparator), timeSeparator);
}

void SystemLocaleTest::formatsUnderLocale_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("zeroTime");
    QTest::addColumn<QString>("afternoon");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("concentration");

    QTest::newRow("en_US") << "en_US" << "12:00:00 AM" << "1:10:09 PM" << "3/5/23" << "1.50";
    QTest::newRow("de_DE") << "de_DE" << "00:00:00" << "13:10:09" << "05.03.23" << "1,50";
    QTest::newRow("en_GB") << "en_GB" << "00:00:00" << "13:10:09" << "05/03/2023" << "1.50";
    QTest::newRow("fr_FR") << "fr_FR" << "00:00:00" << "13:10:09" << "05/03/2023" << "1,50";
    QTest::newRow("C") << "C" << "00:00:00" << "13:10:09" << "3/5/23" << "1.50";
    QTest::newRow("fi_FI") << "fi_FI" << "0.00.00" << "13.10.09" << "5.3.2023" << "1,50";
}

void SystemLocaleTest::formatsUnderLocale()
{
    QFETCH(QString, name);
    QFETCH(QString, zeroTime);
    QFETCH(QString, afternoon);
    QFETCH(QString, date);
    QFETCH(QString, concentration);

    const sedalyn::LocaleSettings s = LocaleSettingsFrom(QLocale(name));
    QCOMPARE(QString::fromStdString(sedalyn::TimeText(0.0, s)), zeroTime);
    QCOMPARE(QString::fromStdString(sedalyn::TimeText(kTenPastOnePm, s)), afternoon);
    QCOMPARE(QString::fromStdString(sedalyn::DateText(kMarch5th2023, s)), date);
    QCOMPARE(QString::fromStdString(sedalyn::FormatFixed(1.5, 6, 2, s)), concentration);
}

// Every locale whose short date is all numbers must read as Qt writes it.
void SystemLocaleTest::dateTextAgreesWithQt_data()
{
    QTest::addColumn<QLocale>("locale");
    const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    for (const QLocale& locale : all) {
        const QString format = locale.dateFormat(QLocale::ShortFormat);
        if (locale.zeroDigit() != u'0' || format.contains(QStringLiteral("MMM"))
            || format.contains(QStringLiteral("ddd")))
            continue;
        QTest::newRow(qPrintable(locale.name())) << locale;
    }
}

void SystemLocaleTest::dateTextAgreesWithQt()
{
    QFETCH(QLocale, locale);
    const sedalyn::LocaleSettings s = LocaleSettingsFrom(locale);
    QCOMPARE(QString::fromStdString(sedalyn::DateText(kMarch5th2023, s)),
             locale.toString(QDate(2023, 3, 5), QLocale::ShortFormat));
    QCOMPARE(QString::fromStdString(sedalyn::DateText(kJanuary1st2005, s)),
             locale.toString(QDate(2005, 1, 1), QLocale::ShortFormat));
}

// The program follows the system's locale, whatever default the process
// sets for Qt.
void SystemLocaleTest::systemLocaleNotDefaultLocale()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const sedalyn::LocaleSettings s = SystemLocaleSettings();
    QLocale::setDefault(before);
    QCOMPARE(s, LocaleSettingsFrom(QLocale::system()));
    QCOMPARE(SystemLocaleSettings(), s);
}

SEDALYN_TEST_CLASS(SystemLocaleTest)

#include "SystemLocaleTest.moc"
