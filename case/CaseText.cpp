#include "CaseText.h"

namespace sedalyn::casetext {

LocaleSettings WithDecimalPoint(const LocaleSettings& locale)
{
    LocaleSettings dot = locale;
    dot.DecimalSeparator = ".";
    return dot;
}

QString EditText(double value)
{
    return Q(FormatGeneral(value, 15, LocaleSettings{}));
}

std::optional<double> BoxNumber(const QString& text, const LocaleSettings& locale)
{
    QString number = text.trimmed();
    const QString mark = Q(locale.DecimalSeparator);
    if (!mark.isEmpty() && mark != QLatin1String("."))
        number.replace(mark, QLatin1String("."));
    return ParseNumber(number.toStdString());
}

QString DecimalMarks(const LocaleSettings& locale)
{
    const QString mark = Q(locale.DecimalSeparator);
    if (mark.isEmpty() || mark == QLatin1String("."))
        return QStringLiteral("\".\"");
    return QStringLiteral("\".\" or \"%1\"").arg(mark);
}

QString OneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar& c : line) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            c = u' ';
    }
    return line;
}

QString CsvField(const QString& text)
{
    const QString line = OneLine(text);
    if (!line.contains(u',') && !line.contains(u'"'))
        return line;
    QString quoted = line;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString CsvRow(const QStringList& fields)
{
    QString row;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString field = CsvField(fields[i]);
        if (i > 0)
            row += field.startsWith(u'"') ? QLatin1String(",") : QLatin1String(", ");
        row += field;
    }
    return row;
}

bool IsUtf8(const std::string& codeset)
{
    const QString name = Q(codeset).toUpper();
    return name == QLatin1String("UTF-8") || name == QLatin1String("UTF8");
}

QStringList CsvFieldsOf(const QString& row)
{
    QStringList fields;
    qsizetype at = 0;
    for (;;) {
        QString field;
        if (at < row.size() && row[at] == u'"') {
            // Quoted: doubled quotes stand for one.
            for (++at; at < row.size(); ++at) {
                if (row[at] == u'"' && at + 1 < row.size() && row[at + 1] == u'"')
                    field += row[++at];
                else if (row[at] == u'"')
                    break;
                else
                    field += row[at];
            }
            at = row.indexOf(u',', at);
        } else {
            const qsizetype comma = row.indexOf(u',', at);
            field = row.mid(at, comma < 0 ? -1 : comma - at);
            at = comma;
        }
        fields << field;
        if (at < 0)
            return fields;
        ++at; // the comma, then the blank that follows an unquoted field's
        if (at < row.size() && row[at] == u' ')
            ++at;
    }
}

std::optional<int> SecondsOfDay(const QString& text, const LocaleSettings& locale)
{
    QString clock = text.trimmed();
    int pmHours = -1; // none: a 24-hour clock
    if (locale.TwelveHourClock) {
        for (const auto& [designator, hours] : {std::pair{locale.AmDesignator, 0}, std::pair{locale.PmDesignator, 12}}) {
            const QString suffix = QLatin1Char(' ') + Q(designator);
            if (!designator.empty() && clock.endsWith(suffix)) {
                clock.chop(suffix.size());
                pmHours = hours;
            }
        }
    }
    const QStringList parts = clock.split(Q(locale.TimeSeparator));
    if (parts.size() != 3)
        return std::nullopt;
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok || values[i] < 0 || (i > 0 && (values[i] > 59 || parts[i].size() != 2)))
            return std::nullopt;
    }
    int hours = values[0];
    if (locale.TwelveHourClock && pmHours >= 0) {
        if (hours < 1 || hours > 12)
            return std::nullopt;
        hours = hours % 12 + pmHours;
    }
    if (hours > 23)
        return std::nullopt;
    return hours * 3600 + values[1] * 60 + values[2];
}

QString GeneralText(double value, const LocaleSettings& locale)
{
    return Q(FormatGeneral(value, 15, locale));
}

} // namespace sedalyn::casetext
