#pragma once
// Texts the case writes where they must read back or be machine-readable:
// edit boxes and the data file always use "." as decimal point, whatever
// the locale shows on labels.

#include "TextFormats.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace sedalyn::casetext {

// The locale with "." as decimal separator.
LocaleSettings WithDecimalPoint(const LocaleSettings& locale);

// A confirmed value as written back into its edit box: 15 significant digits,
// "." as decimal point, so confirming the same text again gives the same value.
QString EditText(double value);

// A number as typed into a box: blanks around it are ignored, and where the
// locale's decimal mark is not "." it is taken as well as ".".
std::optional<double> BoxNumber(const QString& text, const LocaleSettings& locale);
// The decimal marks BoxNumber takes, for error texts: "." or "." or ",".
QString DecimalMarks(const LocaleSettings& locale);

// `text` on one line: each line break (CR LF, CR or LF) and every other
// control character (C0, DEL, C1, the line and paragraph separators) turned
// into a blank.
QString OneLine(const QString& text);

// A data-file field on one line (see OneLine), quoted as RFC 4180 quotes it
// when it holds a comma or a double quote.
QString CsvField(const QString& text);

// The fields as one data-file row: joined by ", ", except that a quoted
// field follows its comma with no blank, so that CSV readers that skip
// initial blanks and those that do not both see it quoted.
QString CsvRow(const QStringList& fields);

// Whether an iconv codeset name means UTF-8.
bool IsUtf8(const std::string& codeset);

// The fields of a row as CsvRow wrote it.
QStringList CsvFieldsOf(const QString& row);

// The seconds since midnight of a time of day as TimeText writes it in
// `locale`; none for a text it cannot have written.
std::optional<int> SecondsOfDay(const QString& text, const LocaleSettings& locale);

// FormatGeneral with 15 digits: a confirmed value as a label shows it.
QString GeneralText(double value, const LocaleSettings& locale);

// The event row that follows the start row: the Eleveld model's opioid
// setting, which the rows' eight fields have no room for.
inline constexpr const char* OpioidGivenEvent = "eleveld with opioid";
inline constexpr const char* NoOpioidEvent = "eleveld no opioid";

inline QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace sedalyn::casetext
