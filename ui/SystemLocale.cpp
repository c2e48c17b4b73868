#include "SystemLocale.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <iterator>
#include <langinfo.h>
#include <strings.h>

namespace {

// A Qt date or time format cut into pattern-letter runs and literal text.
struct FormatPart {
    QChar field; // null for literal text
    qsizetype count = 0;
    QString text; // the literal, quotes removed
};

bool IsField(const FormatPart& part, QChar letter)
{
    return part.field == letter;
}

bool IsLiteral(const FormatPart& part)
{
    return part.field.isNull();
}

QList<FormatPart> SplitFormat(const QString& format)
{
    static const QString patternLetters = QStringLiteral("dMyhHmszaAt");
    QList<FormatPart> parts;
    const auto appendLiteral = [&parts](const QString& text) {
        if (!parts.isEmpty() && IsLiteral(parts.back()))
            parts.back().text += text;
        else
            parts.append({QChar(), 0, text});
    };

    const qsizetype size = format.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = format[i];
        if (c == u'\'') {
            // '' is a quote mark, inside quotes or out.
            QString literal;
            ++i;
            if (i < size && format[i] == u'\'') {
                appendLiteral(QStringLiteral("'"));
                ++i;
                continue;
            }
            while (i < size) {
                if (format[i] == u'\'') {
                    if (i + 1 < size && format[i + 1] == u'\'') {
                        literal += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += format[i++];
            }
            appendLiteral(literal);
        } else if (patternLetters.contains(c)) {
            qsizetype run = 1;
            while (i + run < size && format[i + run] == c)
                ++run;
            // "AP" and "ap" are one field.
            if ((c == u'a' || c == u'A') && i + run < size
                && (format[i + run] == u'p' || format[i + run] == u'P'))
                ++run;
            parts.append({c, run, {}});
            i += run;
        } else {
            appendLiteral(QString(c));
            ++i;
        }
    }
    return parts;
}

bool HasLetter(const QString& text)
{
    for (const QChar c : text) {
        if (c.isLetter() || c.isSurrogate())
            return true;
    }
    return false;
}

// Characters that the record's date format would read as tokens or quotes.
bool NeedsQuotes(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'/' || c == u'"';
}

QString QuotedLiteral(const QString& text)
{
    QString out;
    QString quoted;
    const auto flush = [&] {
        if (!quoted.isEmpty()) {
            out += u'\'' + quoted + u'\'';
            quoted.clear();
        }
    };
    for (const QChar c : text) {
        if (c == u'\'') {
            flush();
            out += QStringLiteral("\"'\"");
        } else if (NeedsQuotes(c)) {
            quoted += c;
        } else {
            flush();
            out += c;
        }
    }
    flush();
    return out;
}

void ReadDateFormat(const QString& format, sedalyn::LocaleSettings& settings)
{
    const QList<FormatPart> parts = SplitFormat(format);
    bool anyField = false;
    for (const FormatPart& part : parts) {
        if (IsLiteral(part))
            continue;
        // Day and month names, or time fields, have no place in the record.
        const bool number = (IsField(part, u'd') || IsField(part, u'M')) && part.count <= 2;
        if (!number && !IsField(part, u'y'))
            return;
        anyField = true;
    }
    if (!anyField)
        return;

    // The separator is the literal between the first two fields.
    QString separator;
    for (qsizetype i = 1; i + 1 < parts.size(); ++i) {
        if (IsLiteral(parts[i]) && !IsLiteral(parts[i - 1]) && !IsLiteral(parts[i + 1])) {
            if (!HasLetter(parts[i].text))
                separator = parts[i].text;
            break;
        }
    }

    QString record;
    for (const FormatPart& part : parts) {
        if (IsLiteral(part)) {
            const QStringList pieces = separator.isEmpty() ? QStringList{part.text}
                                                           : part.text.split(separator);
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    record += u'/';
                record += QuotedLiteral(pieces[i]);
            }
        } else if (IsField(part, u'd')) {
            record += part.count == 1 ? QStringLiteral("d") : QStringLiteral("dd");
        } else if (IsField(part, u'M')) {
            record += part.count == 1 ? QStringLiteral("m") : QStringLiteral("mm");
        } else {
            record += part.count >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
        }
    }
    settings.ShortDateFormat = record.toStdString();
    if (!separator.isEmpty())
        settings.DateSeparator = separator.toStdString();
}

void ReadTimeFormat(const QLocale& locale, sedalyn::LocaleSettings& settings)
{
    const QList<FormatPart> parts = SplitFormat(locale.timeFormat(QLocale::ShortFormat));
    qsizetype hour = -1;
    QChar designator;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (hour < 0 && (IsField(parts[i], u'h') || IsField(parts[i], u'H')))
            hour = i;
        if (designator.isNull() && (IsField(parts[i], u'a') || IsField(parts[i], u'A')))
            designator = parts[i].field;
    }
    if (hour < 0)
        return;

    settings.HourLeadingZero = parts[hour].count >= 2;
    settings.TwelveHourClock = !designator.isNull();
    if (hour + 2 < parts.size() && IsLiteral(parts[hour + 1]) && IsField(parts[hour + 2], u'm')
        && !HasLetter(parts[hour + 1].text))
        settings.TimeSeparator = parts[hour + 1].text.toStdString();

    // Qt shows the designators in the case of the format's letter.
    const auto shown = [designator](const QString& text) {
        if (designator == u'A')
            return text.toUpper();
        if (designator == u'a')
            return text.toLower();
        return text;
    };
    const QString am = shown(locale.amText());
    const QString pm = shown(locale.pmText());
    if (!am.isEmpty())
        settings.AmDesignator = am.toStdString();
    if (!pm.isEmpty())
        settings.PmDesignator = pm.toStdString();
}

} // namespace

sedalyn::LocaleSettings LocaleSettingsFrom(const QLocale& locale)
{
    sedalyn::LocaleSettings settings;
    const QString point = locale.decimalPoint();
    if (!point.isEmpty())
        settings.DecimalSeparator = point.toStdString();
    ReadDateFormat(locale.dateFormat(QLocale::ShortFormat), settings);
    ReadTimeFormat(locale, settings);
    return settings;
}

std::string CodesetFrom(const char* localeCodeset)
{
    static const char* const ascii[] = {"ANSI_X3.4-1968", "ASCII", "US-ASCII"};
    if (!localeCodeset || *localeCodeset == '\0'
        || std::any_of(std::begin(ascii), std::end(ascii),
                       [localeCodeset](const char* name) { return ::strcasecmp(localeCodeset, name) == 0; }))
        return "UTF-8";
    return localeCodeset;
}

sedalyn::LocaleSettings SystemLocaleSettings()
{
    static const sedalyn::LocaleSettings settings = [] {
        sedalyn::LocaleSettings system = LocaleSettingsFrom(QLocale::system());
        system.Codeset = CodesetFrom(::nl_langinfo(CODESET));
        return system;
    }();
    return settings;
}
