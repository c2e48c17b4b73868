// STUB (being written by the lead)
#include "Unit1.h"
void TForm1::init() {}
void TForm1::OnClose() {}
void TForm1::AgeEnterClick(QObject*, char16_t&) {}
void TForm1::HeightEnterClick(QObject*, char16_t&) {}
void TForm1::weightEnterClick(QObject*, char16_t&) {}
void TForm1::GenderbuttonClick(QObject*) {}
void TForm1::ConfirmPatientClick(QObject*) {}
void TForm1::InfRateEditChange(QObject*) {}
void TForm1::InfRateEditKeyPress(QObject*, char16_t&) {}
void TForm1::ChangebuttonClick(QObject*) {}
void TForm1::StartButtonClick(QObject*) {}
void TForm1::AbortButtonClick(QObject*) {}
void TForm1::BitBtn3Click(QObject*) {}
void TForm1::Timer1Timer(QObject*) {}
void TForm1::Timer2Timer(QObject*) {}
void TForm1::Timer3Timer(QObject*) {}
void TForm1::OpenDataFile() {}
void TForm1::AppendDataRow() {}
void TForm1::CloseDataFileOnAbort() {}
void TForm1::CloseDataFileOnClose() {}
