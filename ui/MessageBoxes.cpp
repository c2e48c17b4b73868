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

namespace {

struct BuiltBox {
    QPointer<QMessageBox> box;
    QPushButton* first = nullptr;
    unsigned buttons = MB_OK;
};

BuiltBox BuildBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    flags &= 0xFFFF;
    BuiltBox built;
    built.buttons = flags & 0x0F;
    const bool yesNo = built.buttons == MB_YESNO;
    const bool withCancel = built.buttons == MB_OKCANCEL;
    built.box = new QMessageBox(owner);
    QMessageBox* box = built.box;
    box->setWindowTitle(caption);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setIcon(IconOf(flags));
    built.first = box->addButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    QPushButton* second = nullptr;
    if (yesNo || withCancel)
        second = box->addButton(yesNo ? QMessageBox::No : QMessageBox::Cancel);
    box->setDefaultButton(second && (flags & MB_DEFBUTTON2) ? second : built.first);
    box->setEscapeButton(second ? second : built.first);
    return built;
}

int AnswerOf(const BuiltBox& built)
{
    const bool yesNo = built.buttons == MB_YESNO;
    if (built.box && built.box->clickedButton() == built.first)
        return yesNo ? IDYES : IDOK;
    return yesNo ? IDNO : built.buttons == MB_OKCANCEL ? IDCANCEL : IDOK;
}

} // namespace

int NoticeBox(const QString& text, const QString& caption, unsigned flags)
{
    QPointer<QWidget> previous = QApplication::activeWindow();
    // On the heap with a guard: the owner may be destroyed while the box
    // runs its own event loop, and would delete the box with it.
    const BuiltBox built = BuildBox(previous ? previous.data() : BoxOwner().data(), text, caption, flags);
    built.box->setWindowModality(Qt::ApplicationModal);
    built.box->exec();
    const int result = AnswerOf(built);
    delete built.box;
    if (previous)
        previous->activateWindow();
    return result;
}

QMessageBox* NoticeBoxLater(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                            std::function<void(int)> answered)
{
    const BuiltBox built = BuildBox(owner, text, caption, flags);
    built.box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(built.box, &QDialog::finished, built.box,
                     [built, answered = std::move(answered)] {
                         if (answered)
                             RunReportingErrors([&] { answered(AnswerOf(built)); });
                     });
    built.box->open();
    return built.box;
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
