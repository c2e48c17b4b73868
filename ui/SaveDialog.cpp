// STUB (replaced by the save dialog work)
#include "SaveDialog.h"
#include <QFileDialog>
TSaveDialog::TSaveDialog(QObject* owner) : QObject(owner) {}
bool TSaveDialog::Execute(QWidget* parent)
{
    QFileDialog d(parent, Title); d.setOption(QFileDialog::DontUseNativeDialog); d.setAcceptMode(QFileDialog::AcceptSave); d.setDefaultSuffix(DefaultExt);
    if (d.exec() != QDialog::Accepted) return false;
    FileName = d.selectedFiles().value(0); return true;
}
