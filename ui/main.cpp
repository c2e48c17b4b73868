// Sedalyn: propofol plasma and effect-site concentrations for the infusion
// rate that the anaesthetist copies from the pump.

#include "AppIcon.h"
#include "MessageBoxes.h"
#include "RungeKutta.h"
#include "SedalynApplication.h"
#include "StartUp.h"
#include "SystemLocale.h"
#include "Unit1.h"
#include "Unit2.h"

#include <string>

namespace {

// The engine ends the process with status 1 once the user has read this.
void ShowIntegratorMessage(const std::string& text)
{
    ShowMessage(QString::fromStdString(text));
}

} // namespace

int main(int argc, char** argv)
{
    SedalynApplication app(argc, argv);
    // The display name follows the application name. Set on its own, it
    // would be added to the title of every other window, the disclaimer's
    // included, on some desktops.
    QApplication::setApplicationName(QStringLiteral("Sedalyn"));
    QApplication::setApplicationVersion(QStringLiteral(SEDALYN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.sedalyn.Sedalyn"));
    QApplication::setWindowIcon(ApplicationIcon());
    sedalyn::SetIntegratorMessageSink(&ShowIntegratorMessage);

    const sedalyn::LocaleSettings locale = SystemLocaleSettings();

    TForm1 form1(locale);
    EndProgramWithMainWindow(app, form1);
    auto* form2 = new TForm2(&form1); // owned by the main window
    form2->show();
    form1.Disclaimer = form2;

    form1.show(); // the first show puts up the disclaimer, modally
    return app.exec();
}
