// STUB (replaced by the start-up work)
#include "Unit1.h"
void TForm1::onshow() {}
void TForm1::BitBtn1Click(QObject*) {}
void TForm1::TrayIconCallback(int) {}
void TForm1::InitiateTrayIconData(TTrayIconData&, const QIcon&, const QString&) {}
