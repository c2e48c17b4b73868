#pragma once
// Fills the text formats' locale record from a Qt locale. The program reads
// the system locale once, at start; what a locale does not give keeps the
// record's default.

#include "TextFormats.h"

#include <string>

class QLocale;

// Short date format, decimal separator and, from the short time format, the
// hour style, 12- or 24-hour clock, AM/PM texts and time separator.
sedalyn::LocaleSettings LocaleSettingsFrom(const QLocale& locale);

// The record's codeset for the one the C library's locale names: the same,
// except that plain ASCII (the C and POSIX locales) is widened to UTF-8, as
// Qt widens it, so that no text the program shows is lost in its files.
std::string CodesetFrom(const char* localeCodeset);

// LocaleSettingsFrom(QLocale::system()) with the codeset of the C library's
// locale (which QApplication has set from the environment), read on the
// first call only.
sedalyn::LocaleSettings SystemLocaleSettings();
