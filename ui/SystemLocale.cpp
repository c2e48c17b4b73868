// STUB
#include "SystemLocale.h"
#include <QLocale>
sedalyn::LocaleSettings LocaleSettingsFrom(const QLocale&) { return {}; }
sedalyn::LocaleSettings SystemLocaleSettings() { return {}; }
