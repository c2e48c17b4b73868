// STUB (replaced by the text formats work)
#include "TextFormats.h"
namespace sedalyn {
std::string FormatGeneral(double, int, const LocaleSettings&) { return {}; }
std::string FormatFixed(double, int, int, const LocaleSettings&) { return {}; }
std::string TimeText(DateTimeDays, const LocaleSettings&) { return {}; }
std::string DateText(DateTimeDays, const LocaleSettings&) { return {}; }
std::optional<double> ParseNumber(std::string_view) { return std::nullopt; }
bool IsNonNegativeNumber(std::string_view) { return false; }
}
