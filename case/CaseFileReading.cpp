#include "CaseFileReading.h"

#include "CaseReplay.h"
#include "CaseText.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <fcntl.h>

namespace sedalyn {

namespace {

constexpr int SecondsPerDay = 86'400;
// The data rows fall every sixth 5-second step.
constexpr int RowSeconds = 30;
constexpr int StepSeconds = 5;
// A clock set back by up to this much (summer time ending) is not a day gone by.
constexpr int ClockSetBack = 2 * 3600;
// A week of rows is under 2 MB; anything far beyond is no data file.
constexpr qint64 MostBytes = 256LL * 1024 * 1024;

const QString ColumnLine = QStringLiteral("Time,Infusion rate");

std::optional<double> Number(const QString& text)
{
    const std::optional<double> value = ParseNumber(text.trimmed().toStdString());
    if (value && std::isfinite(*value))
        return value;
    return std::nullopt;
}

// A header value; a file written under a decimal comma split it in two.
std::optional<double> HeaderNumber(const QStringList& fields)
{
    const QString joined = fields.mid(1).join(QLatin1Char(','));
    if (const std::optional<double> value = Number(joined))
        return value;
    return Number(QString(joined).replace(QLatin1Char(','), QLatin1Char('.')));
}

// The writer's locale is not known: the reader's first, then "h:mm:ss" with
// any separator and an optional am/pm mark.
std::optional<int> ClockSeconds(const QString& text, const LocaleSettings& locale)
{
    if (const std::optional<int> seconds = casetext::SecondsOfDay(text, locale))
        return seconds;
    static const QRegularExpression clock(
        QStringLiteral("^\\s*(\\d{1,2})\\D(\\d\\d)\\D(\\d\\d)\\s*([AaPp]\\.?[Mm]\\.?)?\\s*$"));
    const QRegularExpressionMatch match = clock.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    int hours = match.captured(1).toInt();
    const int minutes = match.captured(2).toInt();
    const int seconds = match.captured(3).toInt();
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    if (const QString mark = match.captured(4); !mark.isEmpty()) {
        if (hours < 1 || hours > 12)
            return std::nullopt;
        hours = hours % 12 + (mark.front().toLower() == u'p' ? 12 : 0);
    }
    if (hours > 23)
        return std::nullopt;
    return hours * 3600 + minutes * 60 + seconds;
}

QString Decoded(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    // Written in a one-byte codeset: its letters are beyond knowing, its digits are not.
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

// A line of the rows before its time is placed.
struct Parsed {
    int Line = 0;
    int Seconds = 0; // of the day
    bool IsEvent = false;
    CaseFileRow Row;
    CaseFileEvent Event;
    SixConcentrations Concentrations{};
};

// The event a row's second field names; none for the rate box's text.
// `understood` is false for an event whose numbers do not read.
std::optional<CaseFileEvent> EventOf(const QString& text, bool& understood, QString& started)
{
    using Kind = CaseFileEvent::Kind;
    static const QRegularExpression start(
        QStringLiteral("^start (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) rate (\\S+) mg/kg/hr$"));
    static const QRegularExpression rate(QStringLiteral("^rate (\\S+) mg/kg/hr$"));
    static const QRegularExpression bolus(QStringLiteral("^bolus (\\S+) mg$"));
    static const QRegularExpression resumed(QStringLiteral("^resumed after \\S+ gap; rate (\\S+) mg/kg/hr assumed$"));
    static const QRegularExpression lost(QStringLiteral("^rows missing .*\\((\\d+) rows lost\\)$"));
    understood = true;
    const QString t = text.trimmed();
    CaseFileEvent event;
    event.Text = t;
    const auto valued = [&](Kind kind, const QString& number) -> std::optional<CaseFileEvent> {
        const std::optional<double> value = Number(number);
        understood = value && *value >= 0.0;
        event.What = kind;
        event.Value = value.value_or(0.0);
        return event;
    };
    if (const auto m = start.match(t); m.hasMatch()) {
        if (started.isEmpty())
            started = m.captured(1);
        return valued(Kind::Start, m.captured(2));
    }
    if (const auto m = rate.match(t); m.hasMatch())
        return valued(Kind::Rate, m.captured(1));
    if (const auto m = bolus.match(t); m.hasMatch())
        return valued(Kind::Bolus, m.captured(1));
    if (const auto m = resumed.match(t); m.hasMatch())
        return valued(Kind::Resumed, m.captured(1));
    if (const auto m = lost.match(t); m.hasMatch())
        return valued(Kind::RowsMissing, m.captured(1));
    if (t.startsWith(QLatin1String("rows missing ")) || t.startsWith(QLatin1String("rows written late "))) {
        event.What = t.startsWith(QLatin1String("rows missing ")) ? Kind::RowsMissing : Kind::RowsLate;
        return event;
    }
    if (t == QLatin1String("end")) {
        event.What = Kind::End;
        return event;
    }
    if (t == QLatin1String(casetext::OpioidGivenEvent) || t == QLatin1String(casetext::NoOpioidEvent)) {
        event.What = Kind::Opioid;
        event.Value = t == QLatin1String(casetext::OpioidGivenEvent) ? 1.0 : 0.0;
        return event;
    }
    // A dosing plan and its following: told, not a row of the rate box.
    if (t.startsWith(QLatin1String("plan "))) {
        event.What = Kind::Plan;
        return event;
    }
    return std::nullopt;
}

// Seconds after Start, a whole step where the line stands for one.
double RoundedToStep(double seconds)
{
    return std::round(seconds / StepSeconds) * StepSeconds;
}

} // namespace

std::optional<double> CaseFileContent::RateAt(double minutes) const
{
    if (!RatesKnown())
        return std::nullopt;
    std::optional<double> rate;
    for (const CaseFileEvent& e : Events) {
        if (e.Minutes > minutes)
            break;
        if (e.What == CaseFileEvent::Kind::Start || e.What == CaseFileEvent::Kind::Rate
            || e.What == CaseFileEvent::Kind::Resumed)
            rate = e.Value;
    }
    return rate;
}

double CaseFileContent::EndMinutes() const
{
    double end = 0.0;
    for (const CaseFileEvent& e : Events)
        end = std::max(end, e.Minutes);
    for (const CaseFileRow& row : Rows)
        end = std::max(end, row.Minutes);
    return end;
}

std::optional<double> CaseFileContent::RateMg() const
{
    if (!RatesKnown() || !Patient.Complete())
        return std::nullopt;
    const double end = EndMinutes();
    double mgPerKg = 0.0;
    std::optional<double> rate;
    double from = 0.0;
    for (const CaseFileEvent& e : Events) {
        using Kind = CaseFileEvent::Kind;
        if (e.What != Kind::Start && e.What != Kind::Rate && e.What != Kind::Resumed)
            continue;
        if (rate)
            mgPerKg += *rate * (std::min(e.Minutes, end) - from) / 60.0;
        rate = e.Value;
        from = e.Minutes;
    }
    if (rate && end > from)
        mgPerKg += *rate * (end - from) / 60.0;
    return mgPerKg * *Patient.Weight;
}

double CaseFileContent::BolusMg() const
{
    double mg = 0.0;
    for (const CaseFileEvent& e : Events)
        if (e.What == CaseFileEvent::Kind::Bolus)
            mg += e.Value;
    return mg;
}

std::int64_t CaseFileContent::RowsLost() const
{
    std::int64_t lost = 0;
    for (const CaseFileEvent& e : Events)
        if (e.What == CaseFileEvent::Kind::RowsMissing)
            lost += static_cast<std::int64_t>(e.Value);
    return lost;
}

std::optional<bool> CaseFileContent::Opioid() const
{
    for (const CaseFileEvent& e : Events)
        if (e.What == CaseFileEvent::Kind::Opioid)
            return e.Value != 0.0;
    return std::nullopt;
}

CaseFileReading ParseCaseFile(const QByteArray& bytes, const LocaleSettings& locale)
{
    QStringList lines = Decoded(bytes).split(QLatin1Char('\n'));
    // What follows the last line end: nothing, or a row a crash cut short,
    // which could pass for a whole one with a digit missing.
    const QString torn = lines.takeLast();

    CaseFileContent content;
    qsizetype at = 0;
    bool columns = false;
    bool gender = false;
    for (; at < lines.size() && !columns; ++at) {
        QString line = lines[at];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.startsWith(ColumnLine)) {
            columns = true;
            continue;
        }
        const QStringList fields = casetext::CsvFieldsOf(line);
        const QString key = fields.value(0).trimmed();
        if (key == QLatin1String("Gender")) {
            gender = true;
            content.Patient.Gender = fields.mid(1).join(QLatin1Char(',')).trimmed();
        } else if (key == QLatin1String("Age(y)")) {
            content.Patient.Age = HeaderNumber(fields);
        } else if (key == QLatin1String("Height(m)")) {
            content.Patient.Height = HeaderNumber(fields);
        } else if (key == QLatin1String("Weight(kg)")) {
            content.Patient.Weight = HeaderNumber(fields);
        }
    }
    if (!gender && !columns)
        return {std::nullopt, QStringLiteral("it is not a data file of this program (it has no patient header)")};

    std::vector<Parsed> parsed;
    for (; at < lines.size(); ++at) {
        QString line = lines[at];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const int number = static_cast<int>(at) + 1;
        const auto unread = [&] { content.Unread << QStringLiteral("line %1: %2").arg(number).arg(line); };
        const QStringList fields = casetext::CsvFieldsOf(line);
        if (fields.size() < 2 + static_cast<qsizetype>(ConcentrationCount)) {
            unread();
            continue;
        }
        Parsed p;
        p.Line = number;
        const std::optional<int> seconds = ClockSeconds(fields[0], locale);
        bool numbers = true;
        const qsizetype first = fields.size() - static_cast<qsizetype>(ConcentrationCount);
        for (std::size_t i = 0; i < ConcentrationCount; ++i) {
            const std::optional<double> value = Number(fields[first + static_cast<qsizetype>(i)]);
            numbers = numbers && value && *value >= 0.0;
            p.Concentrations[i] = value.value_or(0.0);
        }
        // A rate box's text holding a comma was written unquoted by old versions.
        const QString second = fields.mid(1, first - 1).join(QLatin1Char(','));
        bool understood = true;
        std::optional<CaseFileEvent> event = EventOf(second, understood, content.Started);
        if (!seconds || !numbers || !understood) {
            unread();
            continue;
        }
        p.Seconds = *seconds;
        if (event) {
            p.IsEvent = true;
            p.Event = *event;
            p.Event.Clock = fields[0].trimmed();
        } else {
            p.Row.Clock = fields[0].trimmed();
            p.Row.RateText = second.trimmed();
            p.Row.Concentrations = p.Concentrations;
        }
        parsed.push_back(std::move(p));
    }
    if (!torn.isEmpty())
        content.Unread << QStringLiteral("line %1 (cut short): %2").arg(lines.size() + 1).arg(torn);

    // Case time from the clock times: the start row's, or 30 s before the
    // first row's where the file has none.
    int origin = 0;
    const auto startRow = std::find_if(parsed.begin(), parsed.end(), [](const Parsed& p) {
        return p.IsEvent && p.Event.What == CaseFileEvent::Kind::Start;
    });
    const auto firstRow = std::find_if(parsed.begin(), parsed.end(), [](const Parsed& p) { return !p.IsEvent; });
    if (startRow != parsed.end())
        origin = startRow->Seconds;
    else if (firstRow != parsed.end())
        origin = firstRow->Seconds - RowSeconds;
    else if (!parsed.empty())
        origin = parsed.front().Seconds;
    const auto forward = [](int from, int to) {
        int d = ((to - from) % SecondsPerDay + SecondsPerDay) % SecondsPerDay;
        return d > SecondsPerDay - ClockSetBack ? d - SecondsPerDay : d;
    };
    double elapsed = 0.0;
    int previous = origin;
    for (Parsed& p : parsed) {
        elapsed += forward(previous, p.Seconds);
        previous = p.Seconds;
        if (p.IsEvent) {
            const bool step = p.Event.What == CaseFileEvent::Kind::Bolus;
            p.Event.Minutes = (step ? RoundedToStep(elapsed) : elapsed) / 60.0;
            p.Event.Concentrations = p.Concentrations;
            content.Events.push_back(p.Event);
        } else {
            p.Row.Minutes = RoundedToStep(elapsed) / 60.0;
            content.Rows.push_back(std::move(p.Row));
        }
    }
    return {std::move(content), {}};
}

CaseFileReading ReadCaseFile(const QString& path, const LocaleSettings& locale, const FileSystem& files)
{
    File file;
    const std::string name = QFile::encodeName(path).toStdString();
    if (const FileError error = files.OpenRegular(name, O_RDONLY, file))
        return {std::nullopt, QString::fromStdString(error.Message())};
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (const FileError error = file.Read(buffer, sizeof buffer, got))
            return {std::nullopt, QString::fromStdString(error.Message())};
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<qsizetype>(got));
        if (bytes.size() > MostBytes)
            return {std::nullopt, QStringLiteral("cannot read %1: it is too large for a data file").arg(path)};
    }
    if (bytes.isEmpty())
        return {std::nullopt, QStringLiteral("cannot read %1: it is empty").arg(path)};
    CaseFileReading reading = ParseCaseFile(bytes, locale);
    if (!reading.Content)
        reading.Error = QStringLiteral("cannot read %1: %2").arg(path, reading.Error);
    return reading;
}

void FillHistory(const CaseFileContent& content, CaseHistory& history, const EleveldReplay* eleveld)
{
    history.Clear();
    struct Item {
        double Minutes;
        SixConcentrations Values;
        double BolusMg;
        std::optional<double> TypedRate;
    };
    std::vector<Item> items;
    for (const CaseFileRow& row : content.Rows)
        items.push_back({row.Minutes, row.Concentrations, 0.0, Number(row.RateText)});
    for (const CaseFileEvent& e : content.Events)
        if (e.What == CaseFileEvent::Kind::Bolus)
            items.push_back({e.Minutes, e.Concentrations, e.Value, std::nullopt});
    // A bolus row follows the row of its step: one record holds both.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.Minutes < b.Minutes; });
    std::vector<Item> merged;
    for (const Item& item : items) {
        if (!merged.empty() && merged.back().Minutes == item.Minutes) {
            merged.back().BolusMg += item.BolusMg;
            merged.back().Values = item.Values;
            if (item.TypedRate)
                merged.back().TypedRate = item.TypedRate;
            continue;
        }
        merged.push_back(item);
    }
    double rate = 0.0;
    for (const Item& item : merged) {
        // The rate in use during the step that ends at the record.
        if (const std::optional<double> known = content.RateAt(item.Minutes - StepSeconds / 2.0 / 60.0))
            rate = *known;
        else if (item.TypedRate)
            rate = *item.TypedRate;
        const EleveldConcentrations replayed =
            eleveld ? eleveld->At(item.Minutes).value_or(EleveldConcentrations{}) : EleveldConcentrations{};
        history.Append({item.Minutes, rate, item.BolusMg, item.Values, replayed});
    }
}

} // namespace sedalyn
