#pragma once
// STUB
#include "TextFormats.h"
class QLocale;
sedalyn::LocaleSettings LocaleSettingsFrom(const QLocale& locale);
sedalyn::LocaleSettings SystemLocaleSettings();
