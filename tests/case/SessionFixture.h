#pragma once
// A case on a controlled clock, driven through its verbs as the window
// drives it, with no window at all.

#include "CaseSupport.h"

#include <QTemporaryDir>

namespace casesupport {

class Session {
public:
    explicit Session(const LocaleSettings& locale = TwentyFourHour(), FileSystem& files = FileSystem::System())
        : s(locale, clock.Clocks(), files)
    {
    }

    sedalyn::PatientOutcome Confirm(const QString& age, const QString& height, const QString& weight,
                                    const QString& gender = QStringLiteral("Male"))
    {
        return s.ConfirmPatient({age, height, weight, gender});
    }

    // Male, 45 years, 1.75 m, 80 kg confirmed, with a data file at `file`
    // unless it is empty.
    void ConfirmAdult(const QString& file = QString())
    {
        Confirm(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80"));
        if (!file.isEmpty())
            fileNotice = s.OpenDataFile(file);
    }

    // The rate box's text typed, and confirmed as the button confirms it.
    sedalyn::RateOutcome Rate(const QString& text)
    {
        s.RateTextChanged(text);
        return s.ConfirmRate();
    }

    // Start confirms what the box holds; an unusually high rate is declined.
    void Start()
    {
        if (s.Start().What == sedalyn::RateOutcome::Kind::Question)
            s.DeclineRate();
    }

    // The example patient (male, 53 y, 1.77 m, 77 kg) running at `rate`.
    void StartExample(const QString& rate, const QString& file = QString())
    {
        Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        if (!file.isEmpty())
            fileNotice = s.OpenDataFile(file);
        s.RateTextChanged(rate);
        Start();
    }

    // Ticks 5 seconds apart on the clock; the outcome of the last.
    sedalyn::TickOutcome Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.seconds += 5.0;
            last = s.Tick();
        }
        return last;
    }

    // The six concentration texts a session's models hold, "." as decimal point.
    static QStringList PanelOf(const sedalyn::CaseSession& session)
    {
        QStringList texts;
        for (const double value : session.Engine().Concentrations())
            texts << QString::fromStdString(sedalyn::FormatFixed(value, 6, 2, {}));
        return texts;
    }

    // The six concentration texts of the last tick.
    QStringList Panel() const { return {last.Concentrations.begin(), last.Concentrations.end()}; }
    // The same with "." as decimal point, as the data file writes them.
    QStringList PanelWithPoint() const { return Panel().replaceInStrings(QStringLiteral(","), QStringLiteral(".")); }

    QString CsvPath() const { return folder.filePath(QStringLiteral("case.csv")); }

    QTemporaryDir folder;
    FakeClock clock;
    sedalyn::CaseSession s;
    sedalyn::TickOutcome last;
    QString fileNotice;
};

} // namespace casesupport
