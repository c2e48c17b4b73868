#pragma once
// Fills the text formats' locale record from a Qt locale. The program reads
// the system locale once, at start; what a locale does not give keeps the
// record's default.

#include "TextFormats.h"

class QLocale;

// Short date format, decimal separator and, from the short time format, the
// hour style, 12- or 24-hour clock, AM/PM texts and time separator.
sedalyn::LocaleSettings LocaleSettingsFrom(const QLocale& locale);

// LocaleSettingsFrom(QLocale::system()), read on the first call only.
sedalyn::LocaleSettings SystemLocaleSettings();
