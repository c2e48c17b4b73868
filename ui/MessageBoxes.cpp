// STUB (replaced by the message box work)
#include "MessageBoxes.h"
#include <QMessageBox>
void ErrorBeep(std::uint16_t, std::uint16_t) {}
void InputErrorBox(const QString& text) { NoticeBox(text, QStringLiteral("Sedalyn Input Error"), MB_OK); }
int NoticeBox(const QString& text, const QString& caption, unsigned flags)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, (flags & 1) ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}
void ShowMessage(const QString& text) { NoticeBox(text, ApplicationTitle, MB_OK); }
EInOutError::EInOutError(int code) : std::runtime_error("I/O error " + std::to_string(code)), ErrorCode(code) {}
