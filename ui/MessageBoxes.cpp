#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

void ErrorBeep(std::uint16_t frequency, std::uint16_t duration)
{
    Q_UNUSED(frequency);
    Q_UNUSED(duration);
    QApplication::beep();
}

void InputErrorBox(const QString& text)
{
    ErrorBeep(150, 250);
    ErrorBeep(100, 250);
    NoticeBox(text, QStringLiteral("Sedalyn Input Error"), MB_OK);
}

namespace {

QMessageBox::Icon IconOf(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

namespace {

QPointer<QWidget>& BoxOwner()
{
    static QPointer<QWidget> owner;
    return owner;
}

} // namespace

void SetMessageBoxOwner(QWidget* owner)
{
    BoxOwner() = owner;
}

int NoticeBox(const QString& text, const QString& caption, unsigned flags)
{
    flags &= 0xFFFF;
    const unsigned buttons = flags & 0x0F;
    const bool yesNo = buttons == MB_YESNO;
    const bool withCancel = buttons == MB_OKCANCEL;

    QPointer<QWidget> previous = QApplication::activeWindow();
    // On the heap with a guard: the owner may be destroyed while the box
    // runs its own event loop, and would delete the box with it.
    QPointer<QMessageBox> box = new QMessageBox(previous ? previous.data() : BoxOwner().data());
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowTitle(caption);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setIcon(IconOf(flags));
    QPushButton* first = box->addButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    QPushButton* second = nullptr;
    if (yesNo || withCancel)
        second = box->addButton(yesNo ? QMessageBox::No : QMessageBox::Cancel);
    box->setDefaultButton(second && (flags & MB_DEFBUTTON2) ? second : first);
    box->setEscapeButton(second ? second : first);

    box->exec();

    int result = yesNo ? IDNO : withCancel ? IDCANCEL : IDOK;
    if (box) {
        if (box->clickedButton() == first)
            result = yesNo ? IDYES : IDOK;
        delete box;
    }
    if (previous)
        previous->activateWindow();
    return result;
}

void ShowMessage(const QString& text)
{
    NoticeBox(text, ApplicationTitle, MB_OK);
}

void GeneralErrorReport(const QString& message)
{
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (QWidget* grabber = QWidget::keyboardGrabber())
        grabber->releaseKeyboard();
    NoticeBox(message + QLatin1Char('.'), ApplicationTitle, MB_OK | MB_ICONSTOP);
}
