#include "SedalynApplication.h"

#include "MessageBoxes.h"

SedalynApplication::SedalynApplication(int& argc, char** argv) : QApplication(argc, argv)
{
}

bool SedalynApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverReportingErrors(receiver, event);
}

bool SedalynApplication::DeliverReportingErrors(QObject* receiver, QEvent* event)
{
    bool handled = true; // a failed handler's event counts as handled
    RunReportingErrors([&] { handled = qApp->QApplication::notify(receiver, event); });
    return handled;
}
