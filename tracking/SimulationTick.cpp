// The 5-second simulation tick.

#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QPushButton>

using namespace sedalyn;

void TForm1::Timer3Timer(QObject*)
{
    AbortButton->setEnabled(false);
    Engine.AdvanceTick(Patient, InfusionRate);

    const auto show = [this](QLabel* label, double value) {
        label->setText(casetext::Q(FormatFixed(value, 6, 2, m_locale)));
    };
    show(Jameslabel, Engine.JamesModel.State[StatePlasma]);
    show(James1label, Engine.JamesModel.State[StateEffectSite]);
    show(Humelabel, Engine.HumeModel.State[StatePlasma]);
    show(Hume1label, Engine.HumeModel.State[StateEffectSite]);
    show(Hanlabel, Engine.HanModel.State[StatePlasma]);
    show(Han1label, Engine.HanModel.State[StateEffectSite]);
    AbortButton->setEnabled(true);

    AppendDataRow();

    if (PendingRateChange > 1
        && NoticeBox(QStringLiteral("Confirm the rate change!"), windowTitle(), MB_OKCANCEL) == IDOK) {
        ChangebuttonClick(this);
        PendingRateChange = 0;
        return;
    }
    if (PendingRateChange == 1)
        PendingRateChange = 2;
}
