#include "CaseReplay.h"

#include "CaseText.h"
#include "CaseTimeline.h"
#include "Eleveld.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sedalyn {

namespace {

// Beyond this the file is not taken for one case.
constexpr std::int64_t MostSteps = 60LL * 24 * 60 * TicksPerMinute;
// The rows carry two decimals: the same arithmetic is within half the last one.
constexpr double RowTolerance = 0.005 + 1e-9;
// Rate rows placed together at most; each has three steps to try.
constexpr std::size_t MostTogether = 5;

// A rate as a step took it. A rate row's time is whole seconds on the wall
// clock, the case's steps count on another: the row names a step give or
// take one, and the rows that follow tell which.
struct RateInput {
    std::int64_t Nominal = 1;
    std::int64_t Step = 1;
    double Rate = 0.0;
    // The row's values: the models after the step before the one taking it.
    const SixConcentrations* Shown = nullptr;
};

struct BolusInput {
    std::int64_t Step = 1;
    double Mg = 0.0;
};

struct RowAt {
    std::int64_t Step = 0;
    const CaseFileRow* Row = nullptr;
};

std::int64_t StepAt(double minutes)
{
    return std::llround(minutes * TicksPerMinute);
}

// The four models on the case's steps, taking the inputs as they fall due.
struct Replayer {
    const Patient* Who = nullptr;
    const std::vector<RateInput>* Rates = nullptr;
    const std::vector<BolusInput>* Boluses = nullptr;
    PharmacokineticEngine Schnider;
    EleveldModel Eleveld;
    std::int64_t Step = 0;
    std::size_t NextRate = 0;
    std::size_t NextBolus = 0;
    double Rate = 0.0;

    void Advance()
    {
        ++Step;
        for (; NextRate < Rates->size() && (*Rates)[NextRate].Step <= Step; ++NextRate)
            Rate = (*Rates)[NextRate].Rate;
        double mg = 0.0;
        for (; NextBolus < Boluses->size() && (*Boluses)[NextBolus].Step <= Step; ++NextBolus)
            mg += (*Boluses)[NextBolus].Mg;
        Schnider.AdvanceTick(*Who, Rate, mg);
        Eleveld.AdvanceTick(*Who, Rate, mg);
    }

    // How far the three Schnider models are from what the row wrote.
    double Off(const SixConcentrations& written) const
    {
        const SixConcentrations now = Schnider.Concentrations();
        double off = 0.0;
        for (std::size_t i = 0; i < now.size(); ++i)
            off = std::max(off, std::abs(now[i] - written[i]));
        return off;
    }
};

} // namespace

std::optional<EleveldConcentrations> EleveldReplay::At(double minutes) const
{
    const std::int64_t step = StepAt(minutes);
    if (step <= 0)
        return EleveldConcentrations{};
    if (step > static_cast<std::int64_t>(Steps.size()))
        return std::nullopt;
    return Steps[static_cast<std::size_t>(step - 1)];
}

EleveldReplay ReplayEleveld(const CaseFileContent& content)
{
    EleveldReplay replay;
    const std::optional<bool> opioid = content.Opioid();
    replay.Opioid = opioid.value_or(false);
    replay.OpioidKnown = opioid.has_value();
    if (!content.RatesKnown()) {
        replay.Missing = QStringLiteral("the file has no rate rows (it is from before they were written)");
        return replay;
    }
    if (!content.Patient.Complete()) {
        replay.Missing = QStringLiteral("the patient header cannot be read");
        return replay;
    }

    std::vector<RateInput> rates;
    std::vector<BolusInput> boluses;
    std::int64_t lastStep = 0;
    bool started = false;
    for (const CaseFileEvent& e : content.Events) {
        using Kind = CaseFileEvent::Kind;
        if (e.What == Kind::End || (started && e.What == Kind::Start))
            break; // a later case in the same file is not this one's
        if (e.What == Kind::Start) {
            started = true;
            rates.push_back({1, 1, e.Value});
        } else if (!started) {
            continue;
        } else if (e.What == Kind::Rate || e.What == Kind::Resumed) {
            // Confirmed after the steps then due: the next one takes it.
            const auto nominal = static_cast<std::int64_t>(std::floor(e.Minutes * TicksPerMinute + 1e-9)) + 1;
            const std::int64_t step = std::max(nominal, rates.back().Nominal);
            rates.push_back({step, step, e.Value, &e.Concentrations});
        } else if (e.What == Kind::Bolus) {
            boluses.push_back({std::max<std::int64_t>(StepAt(e.Minutes), 1), e.Value});
            lastStep = std::max(lastStep, boluses.back().Step);
        }
    }
    std::vector<RowAt> rows;
    for (const CaseFileRow& row : content.Rows)
        if (const std::int64_t step = StepAt(row.Minutes); step > 0 && (rows.empty() || step > rows.back().Step))
            rows.push_back({step, &row});
    if (!rows.empty())
        lastStep = std::max(lastStep, rows.back().Step);
    if (lastStep > MostSteps) {
        replay.Missing = QStringLiteral("the case is longer than 60 days");
        return replay;
    }

    Patient patient{*content.Patient.Age, *content.Patient.Height, *content.Patient.Weight,
                    [gender = content.Patient.Gender.toStdString()] { return gender; }};
    Replayer r;
    r.Who = &patient;
    r.Rates = &rates;
    r.Boluses = &boluses;
    r.Eleveld.Reset(replay.Opioid);

    // Rate rows a step or two apart are placed together: of the steps each
    // may name, the ones that give the rows' own values, its own and the next
    // regular row's, nearest the named steps.
    const auto resolve = [&](std::size_t first, std::size_t last) {
        const auto judge = std::lower_bound(rows.begin(), rows.end(), rates[last].Nominal + 1,
                                            [](const RowAt& row, std::int64_t step) { return row.Step < step; });
        std::vector<std::int64_t> best;
        double bestOff = std::numeric_limits<double>::infinity();
        std::int64_t bestShift = 0;
        const auto judgeOf = [&] {
            Replayer trial = r;
            double off = 0.0;
            for (;;) {
                for (std::size_t k = first; k <= last; ++k)
                    if (rates[k].Step - 1 == trial.Step && rates[k].Shown)
                        off = std::max(off, trial.Off(*rates[k].Shown));
                if (judge == rows.end() || trial.Step >= judge->Step)
                    break;
                trial.Advance();
            }
            return judge == rows.end() ? off : std::max(off, trial.Off(judge->Row->Concentrations));
        };
        const auto tryFrom = [&](auto& self, std::size_t k, std::int64_t low) -> void {
            if (k > last) {
                const double off = judgeOf();
                std::int64_t shift = 0;
                for (std::size_t j = first; j <= last; ++j)
                    shift += std::abs(rates[j].Step - rates[j].Nominal);
                // Within the rows' rounding the nearest wins, else the closest fit.
                const bool better = off <= RowTolerance ? bestOff > RowTolerance || shift < bestShift : off < bestOff;
                if (best.empty() || better) {
                    best.clear();
                    for (std::size_t j = first; j <= last; ++j)
                        best.push_back(rates[j].Step);
                    bestOff = off;
                    bestShift = shift;
                }
                return;
            }
            for (std::int64_t c = std::max(rates[k].Nominal - 1, low); c <= std::max(rates[k].Nominal + 1, low); ++c) {
                rates[k].Step = c;
                self(self, k + 1, c);
            }
        };
        tryFrom(tryFrom, first, std::max(r.Step + 1, rates[first - 1].Step));
        for (std::size_t j = first; j <= last; ++j)
            rates[j].Step = best[j - first];
    };

    std::size_t unresolved = 1;
    auto row = rows.begin();
    replay.Steps.reserve(static_cast<std::size_t>(lastStep));
    while (r.Step < lastStep) {
        if (unresolved < rates.size() && rates[unresolved].Nominal - 1 <= r.Step + 1) {
            std::size_t last = unresolved;
            while (last + 1 < rates.size() && last + 1 - unresolved < MostTogether
                   && rates[last + 1].Nominal <= rates[last].Nominal + 2)
                ++last;
            resolve(unresolved, last);
            unresolved = last + 1;
        }
        r.Advance();
        replay.Steps.push_back({r.Eleveld.Plasma(), r.Eleveld.EffectSite()});
        if (row != rows.end() && row->Step == r.Step) {
            if (r.Off(row->Row->Concentrations) > RowTolerance) {
                replay.Steps.clear();
                replay.Missing = QStringLiteral("replaying its rate and bolus rows does not give the Schnider "
                                                "values its rows hold from %1 on")
                                     .arg(casetext::Q(CaseTimeText(r.Step * CaseTimeline::StepMs)));
                return replay;
            }
            ++row;
        }
    }
    if (replay.Steps.empty())
        replay.Missing = QStringLiteral("the file has no rows");
    return replay;
}

} // namespace sedalyn
