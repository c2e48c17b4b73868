#include "QtTestMain.h"

#include "SystemLocale.h"
#include "TextFormats.h"

#include <QDate>
#include <QLocale>
#include <QTest>

#include <langinfo.h>

namespace {

// Days since 1899-12-30.
constexpr double kMarch5th2023 = 44990;
constexpr double kJanuary1st2005 = 38353;

constexpr double kTenPastOnePm = (13 * 3600.0 + 10 * 60.0 + 9.0) / 86400.0;

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// "decimal|date format|date separator|hour leading zero|12-hour clock|am|pm|time separator"
QString Describe(const sedalyn::LocaleSettings& s)
{
    return QStringList{Text(s.DecimalSeparator), Text(s.ShortDateFormat), Text(s.DateSeparator),
                       QString::number(s.HourLeadingZero), QString::number(s.TwelveHourClock),
                       Text(s.AmDesignator), Text(s.PmDesignator), Text(s.TimeSeparator)}
        .join(u'|');
}

// "midnight|13:10:09|2023-03-05|1.5" as the record writes them.
QString Samples(const sedalyn::LocaleSettings& s)
{
    return QStringList{Text(sedalyn::TimeText(0.0, s)), Text(sedalyn::TimeText(kTenPastOnePm, s)),
                       Text(sedalyn::DateText(kMarch5th2023, s)), Text(sedalyn::FormatFixed(1.5, 6, 2, s))}
        .join(u'|');
}

} // namespace

class SystemLocaleTest : public QObject {
    Q_OBJECT

private slots:
    void fromQtLocale_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("samples"); // null: not checked

        QTest::newRow("en_US") << "en_US" << ".|m/d/yy|/|0|1|AM|PM|:" << "12:00:00 AM|1:10:09 PM|3/5/23|1.50";
        QTest::newRow("de_DE") << "de_DE" << ",|dd/mm/yy|.|1|0|AM|PM|:" << "00:00:00|13:10:09|05.03.23|1,50";
        QTest::newRow("en_GB") << "en_GB" << ".|dd/mm/yyyy|/|1|0|am|pm|:" << "00:00:00|13:10:09|05/03/2023|1.50";
        QTest::newRow("fr_FR") << "fr_FR" << ",|dd/mm/yyyy|/|1|0|AM|PM|:" << "00:00:00|13:10:09|05/03/2023|1,50";
        // Month names cannot be shown: the date keeps the record's default.
        QTest::newRow("C") << "C" << ".|m/d/yy|/|1|0|AM|PM|:" << "00:00:00|13:10:09|3/5/23|1.50";
        QTest::newRow("fi_FI") << "fi_FI" << ",|d/m/yyyy|.|0|0|ap.|ip.|." << "0.00.00|13.10.09|5.3.2023|1,50";
        // "yy. M. d.": the separator has a blank, the trailing full stop stays.
        QTest::newRow("ko_KR") << "ko_KR" << QString::fromUtf8(".|yy/m/d.|. |0|1|오전|오후|:") << QString();
        // "HH 'h' mm": words are no separator.
        QTest::newRow("fr_CA") << "fr_CA" << ",|yyyy/mm/dd|-|1|0|a.m.|p.m.|:" << QString();
        // Quoted text comes through; the date separator inside it too.
        QTest::newRow("bg_BG") << "bg_BG" << QString::fromUtf8(",|d/mm/yy г/|.|0|0|пр.об.|сл.об.|:") << QString();
    }

    void fromQtLocale()
    {
        QFETCH(QString, name);
        QFETCH(QString, settings);
        QFETCH(QString, samples);
        const sedalyn::LocaleSettings s = LocaleSettingsFrom(QLocale(name));
        QCOMPARE(Describe(s), settings);
        if (!samples.isNull())
            QCOMPARE(Samples(s), samples);
    }

    // Every locale whose short date is all numbers must read as Qt writes it.
    void dateTextAgreesWithQt_data()
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

    void dateTextAgreesWithQt()
    {
        QFETCH(QLocale, locale);
        const sedalyn::LocaleSettings s = LocaleSettingsFrom(locale);
        QCOMPARE(Text(sedalyn::DateText(kMarch5th2023, s)),
                 locale.toString(QDate(2023, 3, 5), QLocale::ShortFormat));
        QCOMPARE(Text(sedalyn::DateText(kJanuary1st2005, s)),
                 locale.toString(QDate(2005, 1, 1), QLocale::ShortFormat));
    }

    // The program follows the system's locale, whatever default the process
    // sets for Qt.
    void systemLocaleNotDefaultLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const sedalyn::LocaleSettings s = SystemLocaleSettings();
        QLocale::setDefault(before);
        sedalyn::LocaleSettings expected = LocaleSettingsFrom(QLocale::system());
        expected.Codeset = CodesetFrom(::nl_langinfo(CODESET));
        QCOMPARE(s, expected);
        QCOMPARE(SystemLocaleSettings(), s);
    }

    // Plain ASCII (the C locale) would lose every other character.
    void filesAreInTheLocaleCodesetAtLeastUtf8()
    {
        QCOMPARE(CodesetFrom("ANSI_X3.4-1968"), std::string("UTF-8"));
        QCOMPARE(CodesetFrom(nullptr), std::string("UTF-8"));
        QCOMPARE(CodesetFrom("ISO-8859-15"), std::string("ISO-8859-15"));
    }
};

SEDALYN_TEST_CLASS(SystemLocaleTest)

#include "SystemLocaleTest.moc"
