#pragma once
// The program's message boxes and its error tone. Every box is
// application-modal and runs its own event loop, so clocks and ticks go on.

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

inline constexpr unsigned MB_OK = 0;
inline constexpr unsigned MB_OKCANCEL = 1;
inline constexpr unsigned MB_YESNO = 4;
inline constexpr unsigned MB_ICONSTOP = 16;
inline constexpr unsigned MB_ICONQUESTION = 32;
inline constexpr unsigned MB_ICONWARNING = 48;
inline constexpr unsigned MB_ICONINFORMATION = 64;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

inline const QString ApplicationTitle = QStringLiteral("Sedalyn");

// Sounds one tone (hertz, milliseconds). Qt has no tone of a given pitch:
// this rings the desktop's bell, and a machine without sound stays silent.
void ErrorBeep(std::uint16_t frequency, std::uint16_t duration);

// Two tones, then the message with the caption "Sedalyn Input Error".
void InputErrorBox(const QString& text);

// Shows text and caption with the buttons and icon of `flags`; returns
// IDOK, IDCANCEL, IDYES or IDNO. Escape or the close box count as Cancel or
// No where there is one, else as OK; MB_DEFBUTTON2 makes the second button
// the default. The text is always shown as plain text.
int NoticeBox(const QString& text, const QString& caption, unsigned flags);

// The same box without waiting for it: modal to `owner`'s window only, so
// the program goes on behind it; `answered` gets the answer when it comes.
// The box deletes itself once answered.
QMessageBox* NoticeBoxLater(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                            std::function<void(int)> answered);

// The window that owns a box when no window of the program is active, so
// that a box shown while the main window is hidden belongs to it.
void SetMessageBoxOwner(QWidget* owner);

// The simple message box: the text, OK, the application title as caption.
void ShowMessage(const QString& text);

// The application's general error report: `message` followed by "." (even
// after a full stop), the application title as caption, a stop icon and OK.
// A mouse or keyboard grab is released first so that the box can be answered.
void GeneralErrorReport(const QString& message);

// Runs `handler`; an exception escaping it skips the handler's remaining
// steps and goes to the general error report. True when the handler ended
// normally. Handlers are run through this where they are bound, so that no
// exception has to cross Qt's own frames.
template <class Handler>
bool RunReportingErrors(Handler&& handler)
{
    QString message;
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const std::exception& error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("An unexpected error occurred");
    }
    // Shown after the handler so that the box's own event loop does not run
    // while the exception is still being handled.
    GeneralErrorReport(message);
    return false;
}
