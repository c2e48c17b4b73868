#pragma once
// A main window on a controlled clock, driven through its controls, with a
// driver for its modal boxes.

#include "ModalDriver.h"
#include "ThdTimer.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace casefixture {

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

inline const QString InputErrorCaption = QStringLiteral("Sedalyn Input Error");
inline const QString InvalidRate =
    QStringLiteral("Infusion rate - data not valid. All infusion rates must be >=0 and numeric.");
inline const QString Reminder = QStringLiteral("Confirm the rate change!");

// Every control's kind, name, text, enabled and visible state, for checking
// that an action changed nothing.
inline QStringList Snapshot(const QWidget& form)
{
    QStringList lines;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(w))
            text = label->text();
        else if (const auto* edit = qobject_cast<const QLineEdit*>(w))
            text = edit->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            text = button->text();
        lines << QStringLiteral("%1 %2 \"%3\" enabled=%4 hidden=%5")
                     .arg(QLatin1String(w->metaObject()->className()), w->objectName(), text)
                     .arg(w->isEnabled())
                     .arg(w->isHidden());
    }
    return lines;
}

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
// reaches the file. For the data file only, which the window's thread alone
// uses.
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

class Case {
public:
    explicit Case(const LocaleSettings& locale = TwentyFourHour(), FileSystem& files = FileSystem::System())
        : form(locale, nullptr, files)
    {
        form.Now = [this] { return base + seconds / 86400.0; };
        form.MonotonicMs = [this] { return static_cast<std::int64_t>(std::llround(seconds * 1000.0)); };
        form.UtcMs = [this] { return UtcNoon + form.MonotonicMs(); };
    }

    // Clears the box and types `text` into it key by key.
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    void EnterPatient(const QString& age, const QString& height, const QString& weight)
    {
        Type(form.AgeEdit, age);
        Type(form.HeightEdit, height);
        Type(form.WeightEdit, weight);
    }

    // A valid patient confirmed; `file` is chosen in the save dialog, or the
    // dialog is cancelled when it is empty.
    void Confirm(const QString& age, const QString& height, const QString& weight,
                 const QString& file = QString())
    {
        EnterPatient(age, height, weight);
        driver.AnswerFileDialog(file);
        form.ConfirmPatient->click();
    }

    // Male, 45 years, 1.75 m, 80 kg confirmed.
    void ConfirmAdult(const QString& file = QString())
    {
        Confirm(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80"), file);
    }

    // Start, with the real 5-second tick parked far away: the tests call it.
    void Start()
    {
        form.Timer3->SetInterval(TThreadedTimer::MaxInterval);
        form.StartButton->click();
    }

    // Male, 53 years, 1.77 m, 77 kg at `rate`, running.
    void StartExample(const QString& rate, const QString& file = QString())
    {
        Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"), file);
        Type(form.InfRateEdit, rate);
        Start();
    }

    // Abort, saying Yes where it asks (a running case). The question is not
    // counted among the boxes seen; any other box is refused.
    void Abort()
    {
        if (form.CaseRunning())
            driver.AnswerWith([](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (box && box->text() == QLatin1String("End the running case?"))
                    box->button(QMessageBox::Yes)->click();
            });
        form.AbortButton->click();
    }

    // Ticks 5 seconds apart on the clock.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            seconds += 5.0;
            form.Timer3Timer(form.Timer3);
        }
    }

    // The patient as the window shows it: age, height and weight boxes, then
    // the BMI and the three LBM labels.
    QStringList PatientTexts() const
    {
        QStringList texts;
        for (const QLineEdit* edit : {form.AgeEdit, form.HeightEdit, form.WeightEdit})
            texts << edit->text();
        for (const QLabel* label : {form.BMIlabel, form.Label8, form.Label9, form.Label10})
            texts << label->text();
        return texts;
    }

    // The six concentration labels, James plasma first.
    QStringList Concentrations() const
    {
        QStringList texts;
        for (const QLabel* label : {form.Jameslabel, form.James1label, form.Humelabel,
                                    form.Hume1label, form.Hanlabel, form.Han1label})
            texts << label->text();
        return texts;
    }

    // A data file in a folder of its own, removed after the window is gone.
    QString CsvPath() const { return folder.filePath(QStringLiteral("case.csv")); }

    QTemporaryDir folder;
    double base = Noon;
    double seconds = 0.0;
    TForm1 form;
    ModalDriver driver;
};

} // namespace casefixture
