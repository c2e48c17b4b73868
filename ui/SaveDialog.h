#pragma once
// The save-file dialog for the case data file. It keeps the last chosen name
// and offers it again the next time, in its folder.

#include <QObject>
#include <QString>

class QWidget;

class TSaveDialog : public QObject {
    Q_OBJECT

public:
    explicit TSaveDialog(QObject* owner = nullptr);

    QString Title;
    QString DefaultExt;
    QString FileName; // the last chosen full path; pre-filled next time

    // Shows the dialog modally; true when a name was chosen (into FileName).
    bool Execute(QWidget* parent);
};
