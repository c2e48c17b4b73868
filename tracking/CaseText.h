#pragma once
// Texts the case writes where they must read back or be machine-readable:
// edit boxes and the data file always use "." as decimal point, whatever
// the locale shows on labels.

#include "TextFormats.h"

#include <QString>

namespace sedalyn::casetext {

// The locale with "." as decimal separator.
LocaleSettings WithDecimalPoint(const LocaleSettings& locale);

// A confirmed value as written back into its edit box: 15 significant digits,
// "." as decimal point, so confirming the same text again gives the same value.
QString EditText(double value);

// A data-file field, quoted as RFC 4180 quotes it when it holds a comma, a
// double quote or a line break.
QString CsvField(const QString& text);

inline QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace sedalyn::casetext
