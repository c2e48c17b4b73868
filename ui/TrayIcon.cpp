#include "TrayIcon.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace {

const char* const TrayIconName = "SedalynTrayIcon";

// The shell's mouse messages, delivered to the window's invokable
// TrayIconCallback(int) as the record's callback.
void Deliver(QWidget* window, QSystemTrayIcon::ActivationReason reason)
{
    int mouseEvent = 0;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        mouseEvent = WM_LBUTTONDOWN;
        break;
    case QSystemTrayIcon::Context:
        mouseEvent = WM_RBUTTONDOWN;
        break;
    default:
        return;
    }
    QMetaObject::invokeMethod(window, "TrayIconCallback", Qt::DirectConnection, Q_ARG(int, mouseEvent));
}

QString TipText(const TTrayIconData& data)
{
    // The field is always NUL-terminated; stop at the first NUL anyway.
    return QString::fromUtf8(data.szTip.data(), static_cast<qsizetype>(qstrnlen(data.szTip.data(), data.szTip.size())));
}

} // namespace

QSystemTrayIcon* TrayIconOf(const QWidget* window)
{
    if (!window)
        return nullptr;
    return window->findChild<QSystemTrayIcon*>(QLatin1String(TrayIconName), Qt::FindDirectChildrenOnly);
}

void AddTrayIcon(TTrayIconData data)
{
    QWidget* window = data.Wnd;
    if (!window)
        return;

    // Adding twice describes the same icon: update it rather than show two.
    QSystemTrayIcon* icon = TrayIconOf(window);
    if (!icon) {
        icon = new QSystemTrayIcon(window);
        icon->setObjectName(QLatin1String(TrayIconName));
        QObject::connect(icon, &QSystemTrayIcon::activated, window,
                         [window](QSystemTrayIcon::ActivationReason reason) { Deliver(window, reason); });
    }
    if (data.uFlags & NIF_ICON)
        icon->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        icon->setToolTip(TipText(data));

    // Where the desktop has no tray yet, Qt keeps the icon and puts it in
    // place if a tray appears; the program runs on either way.
    icon->show();
}

bool RemoveTrayIcon(TTrayIconData data)
{
    QSystemTrayIcon* icon = TrayIconOf(data.Wnd);
    if (!icon)
        return false;
    icon->hide();
    delete icon;
    return true;
}
