// STUB (replaced by the main window work)
#include "Unit1.h"
#include "ThdTimer.h"
#include <QEvent>
TForm1::TForm1(const sedalyn::LocaleSettings& locale, QWidget* parent) : QWidget(parent), m_locale(locale) {}
TForm1::~TForm1() = default;
bool TForm1::eventFilter(QObject* w, QEvent* e) { return QWidget::eventFilter(w, e); }
void TForm1::showEvent(QShowEvent* e) { QWidget::showEvent(e); }
void TForm1::closeEvent(QCloseEvent* e) { QWidget::closeEvent(e); }
void TForm1::CreateControls() {}
void TForm1::BindHandlers() {}
QString TForm1::GeneralText(double value, int digits) const { return QString::fromStdString(sedalyn::FormatGeneral(value, digits, m_locale)); }
