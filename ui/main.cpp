// Sedalyn: propofol plasma and effect-site concentrations for the infusion
// rate that the anaesthetist copies from the pump.

#include "AppIcon.h"
#include "CaseReport.h"
#include "JournalFile.h"
#include "MessageBoxes.h"
#include "RungeKutta.h"
#include "SedalynApplication.h"
#include "StartUp.h"
#include "SystemLocale.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QCommandLineParser>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr int CommandLineErrorStatus = 2;

const char* const Usage =
    "usage: sedalyn [--help] [--version] [Qt options]\n"
    "       sedalyn --report CASE.csv OUT.pdf\n"
    "\n"
    "Predicts propofol plasma and effect-site concentrations (mcg/ml) with the Schnider\n"
    "model and the James, Hume and Janmahasatian lean body masses, from the infusion\n"
    "rate copied from the pump by hand. Without options it opens its window.\n"
    "\n"
    "  -h, --help      show this text\n"
    "  -v, --version   show the version\n"
    "  --report CASE.csv OUT.pdf\n"
    "                  write the report of a case's data file as an A4 PDF, with no\n"
    "                  display needed; status 2 for a file it cannot read\n"
    "\n"
    "Qt's own options (such as -platform NAME, -display DISPLAY, -style STYLE,\n"
    "-geometry GEOMETRY, -reverse) are passed on to Qt. See sedalyn(1).\n"
    "Sedalyn predicts; it controls nothing and is not a medical device.\n";

bool Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream)
            == static_cast<std::size_t>(bytes.size())
        && std::fflush(stream) == 0;
}

// Answers --help and --version and refuses what it does not know, before
// there is an application object: neither needs a display. Returns the exit
// status when the program ends here.
std::optional<int> HandleCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    // Qt spells its own options with one dash: "-platform", not "-p -l -a ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    // QApplication takes its own options out of the command line later; they
    // are let through untouched.
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon",
                             "icon", "session", "display", "name", "visual", "style", "stylesheet",
                             "qmljsdebugger"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char* name : {"reverse", "testability", "nograb", "dograb", "sync", "widgetcount"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        Print(stderr, QStringLiteral("sedalyn: %1 See sedalyn --help.\n").arg(error));
        return CommandLineErrorStatus;
    }
    if (parser.isSet(help))
        return Print(stdout, QString::fromLatin1(Usage)) ? 0 : 1;
    if (parser.isSet(version))
        return Print(stdout, QStringLiteral("sedalyn " SEDALYN_VERSION "\n")) ? 0 : 1;
    return std::nullopt;
}

// The engine ends the process with status 1 once the user has read this.
void ShowIntegratorMessage(const std::string& text)
{
    ShowMessage(QString::fromStdString(text));
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = RunReportCommand(argc, argv))
        return *status;
    if (const std::optional<int> status = HandleCommandLine(argc, argv))
        return *status;
    // A data file that reaches a file-size limit is a failed write the case
    // reports and survives, not a signal that ends the program.
    std::signal(SIGXFSZ, SIG_IGN);

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
    std::string noJournal;
    form1.Session().UseJournal(JournalFolder(&noJournal), noJournal);
    auto* form2 = new TForm2(&form1); // owned by the main window
    form2->show();
    form1.Disclaimer = form2;

    form1.show(); // the first show puts up the disclaimer, modally
    return app.exec();
}
