// A Sedalyn window on a fast clock, for the kill-and-resume test: it starts
// a case or resumes the journal's, runs until it is killed, or until a given
// step, where it checks the models and the data file against a case that
// never stopped and then aborts the case.
//
//   resume_driver start|resume|offered FOLDER CSV T0 [UNTIL_STEP | +STEPS]
//
// Time runs Speed times faster than the wall clock from T0 (ms since 1970),
// the same in every process, so a journal written by one is read by the next
// as a real one would be after the same gap.

#include "CaseSession.h"
#include "ModalDriver.h"
#include "JournalFile.h"
#include "PharmacokineticEngine.h"
#include "ThdTimer.h"
#include "Unit1.h"

#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr std::int64_t Speed = 50;
constexpr double Rate = 10.0;

std::int64_t FastUtc(std::int64_t t0)
{
    return t0 + (QDateTime::currentMSecsSinceEpoch() - t0) * Speed;
}

bool Fail(const char* what)
{
    std::fprintf(stderr, "resume_driver: %s\n", what);
    return false;
}

// The models and the rows against a case that never stopped.
bool Check(const sedalyn::CaseSession& session, const QString& csv)
{
    const sedalyn::Patient patient{53, 1.77, 77, [] { return std::string("Male"); }};
    sedalyn::PharmacokineticEngine reference;
    const std::int64_t steps = session.Timeline().StepsTaken();
    QStringList rows;
    for (std::int64_t step = 1; step <= steps; ++step) {
        reference.AdvanceTick(patient, Rate);
        if (step % 6 != 0)
            continue;
        QStringList fields;
        for (const sedalyn::ModelSlot* slot : {&reference.JamesModel, &reference.HumeModel, &reference.HanModel})
            for (const auto element : {sedalyn::StatePlasma, sedalyn::StateEffectSite})
                fields << QString::fromStdString(sedalyn::FormatFixed(slot->State[element], 6, 2, {}));
        rows << fields.join(QStringLiteral(", "));
    }
    const sedalyn::PharmacokineticEngine& engine = session.Engine();
    const sedalyn::ModelSlot* ours[] = {&engine.JamesModel, &engine.HumeModel, &engine.HanModel};
    const sedalyn::ModelSlot* theirs[] = {&reference.JamesModel, &reference.HumeModel, &reference.HanModel};
    for (int m = 0; m < 3; ++m)
        for (std::size_t i = 0; i < 5; ++i)
            if (!(std::abs(ours[m]->State[i] - theirs[m]->State[i]) <= 1e-9))
                return Fail("a model differs from the case that never stopped");

    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly))
        return Fail("no data file");
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.count("Gender,Male\r") != 1)
        return Fail("not exactly one header");
    // The step rows hold the rate box's text; event rows (start, opioid,
    // resumed) hold words there.
    QList<QByteArray> data;
    for (const QByteArray& line : lines.mid(11, lines.size() - 12)) {
        if (line.split(',').value(1).trimmed() == "10")
            data << line;
        else if (!line.contains(", start ") && !line.contains(", eleveld ") && !line.contains(", resumed after "))
            return Fail("a row is neither a step's nor an event's");
    }
    if (data.size() != rows.size())
        return Fail("a row is missing or doubled");
    for (qsizetype r = 0; r < rows.size(); ++r) {
        // The time of day, then the rate box, then the six numbers.
        if (!data[r].endsWith(", " + rows[r].toLatin1() + '\r'))
            return Fail("a row holds other numbers than its step's");
        const QByteArray time = data[r].left(8);
        const int seconds = time.mid(0, 2).toInt() * 3600 + time.mid(3, 2).toInt() * 60 + time.mid(6, 2).toInt();
        static int previous = -1;
        // Across midnight the time of day starts again.
        const int apart = (seconds - previous + 86'400) % 86'400;
        if (previous >= 0 && (apart < 25 || apart > 35))
            return Fail("rows are not 30 s apart");
        previous = seconds;
    }
    std::printf("steps %lld rows %lld\n", static_cast<long long>(steps), static_cast<long long>(rows.size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sedalyn"));
    if (argc < 5)
        return Fail("usage: resume_driver start|resume|offered FOLDER CSV T0 [UNTIL_STEP]") ? 0 : 2;
    const std::string mode = argv[1];
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString csv = QString::fromLocal8Bit(argv[3]);
    const std::int64_t t0 = std::stoll(argv[4]);
    // "+N": N steps after those the resume itself made up.
    const std::string untilText = argc > 5 ? argv[5] : "";
    std::int64_t until = untilText.empty() ? -1 : std::stoll(untilText);

    if (mode == "offered") {
        const StoredJournal stored = ReadJournal(folder);
        std::printf("%s\n", stored.Text ? "offered" : "none");
        return 0;
    }

    sedalyn::LocaleSettings locale;
    locale.TwelveHourClock = false;
    locale.HourLeadingZero = true;
    const auto utc = [t0] { return FastUtc(t0); };
    TForm1 form(std::make_unique<sedalyn::CaseSession>(
        locale, sedalyn::CaseClocks{[t0] { return 25569.0 + static_cast<double>(FastUtc(t0)) / 86400000.0; }, utc,
                                    utc}));
    form.Session().UseJournal(folder);
    ModalDriver driver;
    const unsigned interval = 5000 / Speed;

    if (mode == "start") {
        form.AgeEdit->setText(QStringLiteral("53"));
        form.HeightEdit->setText(QStringLiteral("1.77"));
        form.WeightEdit->setText(QStringLiteral("77"));
        driver.AnswerFileDialog(csv);
        form.ConfirmPatient->click();
        form.InfRateEdit->setText(QStringLiteral("10"));
        form.Timer3->SetInterval(interval);
        form.StartButton->click();
    } else {
        driver.AnswerBox(QMessageBox::Yes);
        form.OfferResume();
        if (!form.CaseRunning())
            return Fail("nothing was resumed") ? 0 : 1;
        form.Timer3->SetInterval(interval);
        if (!untilText.empty() && untilText[0] == '+')
            until += form.Session().Timeline().StepsTaken();
    }

    QTimer watch;
    int status = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (until < 0 || form.Session().Timeline().StepsTaken() < until)
            return;
        watch.stop();
        status = Check(form.Session(), csv) ? 0 : 1;
        driver.AnswerBox(QMessageBox::Yes);
        form.AbortButton->click();
        form.Session().FlushJournal();
        QCoreApplication::exit(status);
    });
    watch.start(10);
    return app.exec() == 0 ? status : 1;
}
