#pragma once
// What the case's tests share: locales, a controlled clock, files read back,
// a disk that fills, and the numbers an engine of its own gives.

#include "CaseSession.h"
#include "DataFile.h"
#include "PharmacokineticEngine.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <vector>

namespace casesupport {

using sedalyn::LocaleSettings;

// No locale settings at all: 12-hour clock, "am"/"pm", no leading zero.
inline LocaleSettings NoLocale()
{
    return {};
}

inline LocaleSettings TwentyFourHour()
{
    LocaleSettings locale;
    locale.TwelveHourClock = false;
    locale.HourLeadingZero = true;
    locale.ShortDateFormat = "dd/mm/yyyy";
    return locale;
}

inline LocaleSettings DecimalComma()
{
    LocaleSettings locale = TwentyFourHour();
    locale.DecimalSeparator = ",";
    locale.DateSeparator = ".";
    return locale;
}

// 2025-12-09 12:00:00 in days since 1899-12-30, and in ms since 1970 UTC.
inline constexpr double Noon = 46000.5;
inline constexpr std::int64_t UtcNoon = 1765281600000;

inline const QString InvalidRate =
    QStringLiteral("Infusion rate - data not valid. All infusion rates must be >=0 and numeric.");
// The refusal of a rate that is no number, as a box says it where "." is
// the locale's decimal mark.
inline const QString RefusedRate =
    InvalidRate + QStringLiteral("\nA rate is a number of mg/kg/hr from 0 to 1000, for example 6.5; the decimal "
                                 "mark may be \".\".");

inline QString Reminder(const QString& box, const QString& inUse)
{
    return QStringLiteral("Confirm the rate change!\nThe rate box holds %1; the model uses %2 mg/kg/hr.").arg(box, inUse);
}

inline QString RateLine(const QString& rate)
{
    return QStringLiteral("Propofol current infusion rate = ") + rate + QStringLiteral(" mg/kg/hr.");
}

// The case's three clocks, moved on by hand: `seconds` since `base`.
// `onRead` runs at every read of the monotonic clock.
struct FakeClock {
    double base = Noon;
    double seconds = 0.0;
    std::function<void()> onRead;

    std::int64_t Ms() const { return static_cast<std::int64_t>(std::llround(seconds * 1000.0)); }

    sedalyn::CaseClocks Clocks()
    {
        return {[this] { return base + seconds / 86400.0; },
                [this] {
                    if (onRead)
                        onRead();
                    return Ms();
                },
                [this] { return UtcNoon + Ms(); }};
    }
};

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot read " + path.toLocal8Bit() + ">";
    return file.readAll();
}

// Lines of a file without their CR LF, for picking out rows.
inline QList<QByteArray> FileLines(const QString& path)
{
    QList<QByteArray> lines = ReadFile(path).split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines)
        line.chop(line.endsWith('\r') ? 1 : 0);
    return lines;
}

// A disk that notes its calls ("write", "sync"), has `room` bytes left (-1:
// no limit) and fails its syncs with `syncError` (0: none). What it takes
// reaches the file. Only the data file makes these two calls, on the case's
// own thread; the journal's writer uses the system's.
class FakeDisk {
public:
    FakeDisk() : files(Calls()) {}
    FakeDisk(const FakeDisk&) = delete;
    FakeDisk& operator=(const FakeDisk&) = delete;

    void Set(qint64 roomLeft = -1, int error = 0)
    {
        room = roomLeft;
        syncError = error;
        made.clear();
    }

    qint64 room = -1;
    int syncError = 0;
    QStringList made;
    FileSystem files;

private:
    FileSystem::Calls Calls()
    {
        FileSystem::Calls calls = FileSystem::SystemCalls();
        calls.Pwrite = [this, write = calls.Pwrite](int fd, const void* data, std::size_t size,
                                                     off_t offset) -> ssize_t {
            made << QStringLiteral("write");
            if (room == 0) {
                errno = ENOSPC;
                return -1;
            }
            const std::size_t taken = room < 0 ? size : std::min(size, std::size_t(room));
            const ssize_t written = write(fd, data, taken, offset);
            room -= room > 0 ? written : 0;
            return written;
        };
        calls.Fdatasync = [this, sync = calls.Fdatasync](int fd) {
            made << QStringLiteral("sync");
            errno = syncError;
            return syncError == 0 ? sync(fd) : -1;
        };
        return calls;
    }
};

struct Step {
    double rate;
    double bolus = 0.0;
};

// The example patient of the tests: male, 53 years, 1.77 m, 77 kg.
inline sedalyn::Patient ExamplePatient()
{
    return {53, 1.77, 77, [] { return std::string("Male"); }};
}

// The panel's six texts ("." as decimal point) of an engine of its own after
// the given steps.
inline QStringList Reference(const std::vector<Step>& steps)
{
    const sedalyn::Patient patient = ExamplePatient();
    sedalyn::PharmacokineticEngine engine;
    for (const Step& step : steps)
        engine.AdvanceTick(patient, step.rate, step.bolus);
    QStringList texts;
    for (const double value : engine.Concentrations())
        texts << QString::fromStdString(sedalyn::FormatFixed(value, 6, 2, {}));
    return texts;
}

// The same at one rate per step.
inline QStringList Reference(const std::vector<double>& ratePerStep)
{
    std::vector<Step> steps;
    for (const double rate : ratePerStep)
        steps.push_back({rate});
    return Reference(steps);
}

} // namespace casesupport
