#pragma once
// STUB (replaced by the disclaimer work)
#include <QDialog>
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr) : QDialog(parent) {}
    void BitBtn3Click(QObject*) {}
};
