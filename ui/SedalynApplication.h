#pragma once
// The application object. It delivers every event with the general error
// report around it: an exception that escapes a handler is shown in a box
// and the program goes on with the next event. The main window's bindings
// catch their handlers' exceptions themselves; this is the last resort for
// everything else.

#include <QApplication>

class SedalynApplication : public QApplication {
    Q_OBJECT

public:
    SedalynApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Delivers `event` to `receiver` as QApplication does, reporting an
    // escaping exception instead of letting it through. Any QApplication can
    // deliver through it; the override above always does.
    static bool DeliverReportingErrors(QObject* receiver, QEvent* event);
};
