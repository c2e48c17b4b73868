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

QString GeneralText(double value, const LocaleSettings& locale)
{
    return Q(FormatGeneral(value, 15, locale));
}

} // namespace sedalyn::casetext
