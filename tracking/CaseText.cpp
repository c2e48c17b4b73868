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

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace sedalyn::casetext
