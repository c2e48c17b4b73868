#pragma once
// The program's message boxes and its error tone. Every box is
// application-modal and runs its own event loop, so clocks and ticks go on.

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

inline constexpr unsigned MB_OK = 0;
inline constexpr unsigned MB_OKCANCEL = 1;
inline constexpr unsigned MB_ICONSTOP = 16;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline const QString ApplicationTitle = QStringLiteral("Sedalyn");

// Sounds one tone (hertz, milliseconds).
void ErrorBeep(std::uint16_t frequency, std::uint16_t duration);

// Two tones, then the message with the caption "Sedalyn Input Error".
void InputErrorBox(const QString& text);

// Shows text and caption with the buttons and icon of `flags`; returns
// IDOK or IDCANCEL.
int NoticeBox(const QString& text, const QString& caption, unsigned flags);

// The simple message box: the text, OK, the application title as caption.
void ShowMessage(const QString& text);

// An input/output error of the data file, with the classic codes.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int code);
    int ErrorCode;
};

// A text that does not convert to a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
