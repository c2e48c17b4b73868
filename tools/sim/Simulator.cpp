#include "Simulator.h"

#include "DosePlanner.h"
#include "Eleveld.h"
#include "ExactSolution.h"
#include "PharmacokineticEngine.h"
#include "TextFormats.h"
#include "WakeUp.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <ostream>
#include <optional>
#include <set>
#include <stdexcept>

#ifndef SEDALYN_VERSION
#error "SEDALYN_VERSION must be defined by the build"
#endif

namespace sedalyn::sim {

const char* const Usage =
    "usage: sedalyn-sim --gender Male|Female --age YEARS --height METRES --weight KG\n"
    "                   [--rate RATE] [--rate MINUTE=RATE]... [--bolus [MINUTE=]MG]...\n"
    "                   [--minutes N] [--every K] [--wake LEVEL]\n"
    "                   [--eleveld [--opioid]] [--method rk4|exact]\n"
    "       sedalyn-sim --gender ... --weight KG --plan TARGET@MINUTES\n"
    "                   [--plan-model james|hume|janmahasatian|eleveld [--opioid]]\n"
    "                   [--plan-every 5|10|15] [--plan-hours H]\n"
    "                   [--plan-from MINUTE [--rate ...]... [--bolus ...]...] [--eleveld]\n"
    "       sedalyn-sim --help | --version\n"
    "\n"
    "Predicts propofol plasma and effect-site concentrations (mcg/ml) with the Schnider\n"
    "model and the James, Hume and Janmahasatian lean body masses, exactly as Sedalyn\n"
    "does: one 5-second tick at a time, 12 ticks per model minute.\n"
    "\n"
    "  --rate RATE          infusion rate in mg/kg/hr from minute 0 (default 0); at most 1000\n"
    "  --rate MINUTE=RATE   the rate from model minute MINUTE on (repeatable); it applies\n"
    "                       to every tick that begins at or after that minute\n"
    "  --bolus MG           a bolus of MG mg (above 0, at most 1000) at the first tick\n"
    "  --bolus MINUTE=MG    a bolus at the first tick that begins at or after model minute\n"
    "                       MINUTE (repeatable; boluses falling in one tick are added)\n"
    "  --minutes N          model minutes to run (default 60); N x 12 ticks, rounded up\n"
    "  --every K            print a row every K ticks (default 1)\n"
    "  --wake LEVEL         add the columns james_wake,hume_wake,han_wake: minutes until the\n"
    "                       effect site falls to LEVEL mcg/ml for good were the infusion\n"
    "                       stopped at that row; 0 means now, inf beyond 24 hours\n"
    "  --eleveld            add the columns eleveld_plasma,eleveld_effect (and eleveld_wake\n"
    "                       with --wake): the Eleveld 2018 model, arterial, with its effect\n"
    "                       site by ke0; built from 27 weeks post-menstrual age to 88 years\n"
    "                       and 0.68 to 160 kg, extrapolated outside\n"
    "  --opioid             with --eleveld or --plan-model eleveld: opioids are given\n"
    "                       with the propofol (the model's covariate; default: none)\n"
    "  --method rk4|exact   rk4 (default): each tick in five Runge-Kutta steps, as Sedalyn\n"
    "                       does; exact: each tick by the exact solution of the linear\n"
    "                       model, many times faster over long runs, agreeing with rk4 to\n"
    "                       about 1e-8 relative\n"
    "  --plan T@N           print a dosing plan instead of concentrations: a bolus now\n"
    "                       and a rate every --plan-every minutes that bring the\n"
    "                       model's effect site to T mcg/ml within N minutes (to at\n"
    "                       least 0.98 T), never above 1.05 T, then hold it within 5 %\n"
    "                       to the horizon; the bolus in whole mg up to 4 mg/kg and\n"
    "                       1000 mg, rates at 0.1 up to 30 mg/kg/hr. Below Ce now the\n"
    "                       plan starts with rate 0 until Ce falls to T\n"
    "  --plan-model M       the model planned with: james (default), hume,\n"
    "                       janmahasatian or eleveld\n"
    "  --plan-every MIN     minutes between rate changes: 5, 10 (default) or 15\n"
    "  --plan-hours H       the plan's horizon in hours (default 2, at most 24)\n"
    "  --plan-from MINUTE   plan from that model minute (default 0); --rate and --bolus\n"
    "                       then give the case before it\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Output: CSV on stdout, a row for minute 0 and one after every K-th tick:\n"
    "minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,han_effect\n"
    "then eleveld_plasma,eleveld_effect with --eleveld, then the wake-up columns.\n"
    "With --plan: CSV minute,bolus_mg,rate, a row per rate change, minutes from the\n"
    "case's start, the bolus empty where there is none. A plan that misses a\n"
    "requirement is still printed, the closest found, and one line on stderr says\n"
    "which; the status is then 3. A plan is the model's prediction for an average\n"
    "patient, as the concentrations are: it gives nothing and decides no dose.\n"
    "Sedalyn predicts; it controls nothing and is not a medical device.\n";

const char* const VersionLine = "sedalyn-sim " SEDALYN_VERSION;

namespace {

// Long enough for months of model time, short enough to finish in seconds.
constexpr double MaxMinutes = 1'000'000.0;

// The length of the UTF-8 sequence that `text` starts with, or 0 when it
// does not start with a valid one (overlong forms and surrogates included).
std::size_t Utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char byte)
{
    constexpr char Digits[] = "0123456789abcdef";
    switch (byte) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        out += "\\x";
        out += Digits[byte >> 4];
        out += Digits[byte & 0xf];
    }
}

UsageError Error(const std::string& argument, const std::string& why)
{
    return UsageError{OneLine(argument + ": " + why)};
}

std::optional<double> Number(const std::string& text)
{
    return ParseNumber(text);
}

// "MINUTE=VALUE" or "VALUE" (minute 0); the minute must be a number >= 0.
struct Scheduled {
    double Minute = 0.0;
    std::string ValueText;
};

std::optional<Scheduled> SplitMinute(const std::string& value)
{
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos)
        return Scheduled{0.0, value};
    const auto minute = Number(value.substr(0, equals));
    if (!minute || *minute < 0.0)
        return std::nullopt;
    return Scheduled{*minute, value.substr(equals + 1)};
}

// Each model carried over a tick by its exact transition. The bolus enters as
// in the program's tick; the time element is set by the caller.
class ExactTicks {
public:
    ExactTicks(const Patient& patient, bool eleveld, bool opioid) : m_patient(patient)
    {
        for (std::size_t m = 0; m < std::size(AllAlgorithms); ++m) {
            const ModelParameters parameters = ModelParametersFor(patient, AllAlgorithms[m], 0.0);
            Add(CompartmentModes(parameters), parameters.V1);
        }
        if (eleveld) {
            const EleveldParameters parameters = BuildEleveldParameters(patient, opioid);
            Add(CompartmentModes(CompartmentMatrix(parameters), InputVector(parameters, 0.0)),
                parameters.V1);
        }
    }

    // False when some model is not one the modes can follow (see CompartmentModes).
    bool Valid() const { return m_valid; }

    void Advance(PharmacokineticEngine& engine, EleveldModel* eleveld, double rate, double bolusMg,
                 double minutes)
    {
        if (!m_rate || *m_rate != rate) {
            for (std::size_t m = 0; m < m_models.size(); ++m)
                m_models[m].InputSlope =
                    m < std::size(AllAlgorithms)
                        ? ModelDerivative::InputSlope(ModelParametersFor(m_patient, AllAlgorithms[m], rate))
                        : rate * m_patient.PatientWeight / 60.0 / m_models[m].V1;
            m_rate = rate;
        }
        for (std::size_t m = 0; m < m_models.size(); ++m) {
            const Model& model = m_models[m];
            ModelState& state =
                m < std::size(AllAlgorithms) ? engine.Slot(AllAlgorithms[m]).State : eleveld->Slot.State;
            if (bolusMg != 0.0)
                state[StatePlasma] = static_cast<double>(
                    state[StatePlasma] + static_cast<long double>(bolusMg) / model.V1);
            const Concentrations next =
                model.Step.Decay * StateConcentrations(state) + model.Step.PerInput * model.InputSlope;
            state = {minutes, next(0), next(1), next(2), next(3)};
        }
    }

private:
    struct Model {
        CompartmentModes::Transition Step{};
        double V1 = 0.0;
        double InputSlope = 0.0;
    };

    void Add(const CompartmentModes& modes, double v1)
    {
        m_valid = m_valid && modes.Valid();
        m_models.push_back({modes.Valid() ? modes.Over(TickMinutes) : CompartmentModes::Transition{}, v1, 0.0});
    }

    Patient m_patient;
    std::vector<Model> m_models; // the Schnider models in order, then Eleveld's
    std::optional<double> m_rate;
    bool m_valid = true;
};

bool IsPlanOption(const std::string& name)
{
    return name == "--plan" || name == "--plan-model" || name == "--plan-every"
           || name == "--plan-hours" || name == "--plan-from";
}

// Empty when `value` is a good value for the plan option `name`, stored in
// `plan`; otherwise why not.
std::string ParsePlanOption(const std::string& name, const std::string& value, PlanOptions& plan)
{
    if (name == "--plan") {
        const std::size_t at = value.find('@');
        const auto target = at == std::string::npos ? std::nullopt : Number(value.substr(0, at));
        const auto reach = at == std::string::npos ? std::nullopt : Number(value.substr(at + 1));
        if (!target || !reach || !(*target > 0.0) || !(*reach >= 0.0))
            return "'" + value + "' is not TARGET@MINUTES, a Ce above 0 (mcg/ml) to reach within "
                   "MINUTES >= 0, for example 3@5";
        plan.Target = *target;
        plan.ReachMinutes = *reach;
    } else if (name == "--plan-model") {
        constexpr ModelKind kinds[] = {ModelKind::James, ModelKind::Hume, ModelKind::Janmahasatian,
                                       ModelKind::Eleveld};
        const auto named = std::find_if(std::begin(kinds), std::end(kinds), [&](ModelKind kind) {
            std::string lower = ModelKindName(kind);
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return lower == value;
        });
        if (named == std::end(kinds))
            return "must be james, hume, janmahasatian or eleveld, not '" + value + "'";
        plan.Model = *named;
    } else if (name == "--plan-every") {
        const auto every = Number(value);
        if (!every || (*every != 5.0 && *every != 10.0 && *every != 15.0))
            return "'" + value + "' is not 5, 10 or 15 (minutes between rate changes)";
        plan.StepMinutes = *every;
    } else if (name == "--plan-hours") {
        const auto hours = Number(value);
        if (!hours || !(*hours > 0.0) || *hours > PlanMaxHorizonMinutes / 60.0)
            return "'" + value + "' is not a number of hours above 0 and at most 24";
        plan.Hours = *hours;
    } else if (name == "--plan-from") {
        const auto from = Number(value);
        if (!from || !(*from >= 0.0) || *from > MaxMinutes)
            return "'" + value + "' is not a model minute from 0 to 1000000";
        plan.FromMinute = *from;
    }
    return {};
}

// The plan options together: none without --plan, and with it no option
// that only the concentrations use, and a case before the plan only.
std::optional<UsageError> CheckPlanOptions(Options& options, const std::set<std::string>& seen,
                                           bool ratesGiven, const PlanOptions& plan)
{
    if (!seen.contains("--plan")) {
        for (const char* name : {"--plan-model", "--plan-every", "--plan-hours", "--plan-from"})
            if (seen.contains(name))
                return Error(name, "needs --plan");
        return std::nullopt;
    }
    for (const char* name : {"--minutes", "--every", "--wake", "--method"})
        if (seen.contains(name))
            return Error(name, "does not apply to --plan, which prints a plan and no concentrations");
    if (plan.ReachMinutes > plan.Hours * 60.0)
        return Error("--plan", "the reach time is beyond the plan's horizon (--plan-hours, 2 by default)");
    const auto reachesThePlan = [&](const std::map<double, double>& schedule) {
        return !schedule.empty() && schedule.rbegin()->first >= plan.FromMinute;
    };
    const char* const notBefore = "with --plan, --rate and --bolus give the case before the "
                                  "plan's start (--plan-from, 0 by default), not at or after it";
    if (ratesGiven && reachesThePlan(options.Rates))
        return Error("--rate", notBefore);
    if (reachesThePlan(options.Boluses))
        return Error("--bolus", notBefore);
    options.Plan = plan;
    return std::nullopt;
}

} // namespace

std::string OneLine(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            AppendEscaped(out, byte);
            ++i;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else if (const std::size_t length = Utf8Length(std::string_view(text).substr(i));
                   length == 0) {
            AppendEscaped(out, byte);
            ++i;
        } else {
            // C1 controls (U+0080 to U+009F) and the line and paragraph separators.
            const std::string_view sequence(text.data() + i, length);
            const bool control = (byte == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0)
                                 || sequence == "\u2028" || sequence == "\u2029";
            for (const char c : sequence) {
                if (control)
                    AppendEscaped(out, static_cast<unsigned char>(c));
                else
                    out += c;
            }
            i += length;
        }
    }
    return out;
}

ParseResult ParseArguments(const std::vector<std::string>& arguments)
{
    Options options;
    std::set<std::string> seen;
    bool ratesGiven = false;
    PlanOptions plan;

    for (const std::string& argument : arguments)
        if (argument == "--help" || argument == "-h")
            return HelpRequested{};
    for (const std::string& argument : arguments)
        if (argument == "--version")
            return VersionRequested{};

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--eleveld" || name == "--opioid") {
            if (!seen.insert(name).second)
                return Error(name, "given more than once");
            (name == "--eleveld" ? options.Eleveld : options.Opioid) = true;
            continue;
        }
        if (name != "--gender" && name != "--age" && name != "--height" && name != "--weight"
            && name != "--rate" && name != "--bolus" && name != "--minutes" && name != "--every"
            && name != "--wake" && name != "--method" && !IsPlanOption(name))
            return Error(name, "unknown argument (see --help)");
        if (i + 1 >= arguments.size())
            return Error(name, "a value is missing");
        const std::string& value = arguments[++i];
        if (name != "--rate" && name != "--bolus" && !seen.insert(name).second)
            return Error(name, "given more than once");

        if (name == "--gender") {
            if (value != MaleCaption && value != FemaleCaption)
                return Error(name, "must be Male or Female, not '" + value + "'");
            options.Gender = value;
        } else if (name == "--age") {
            const auto age = Number(value);
            if (!age || *age < 0.0)
                return Error(name, "'" + value + "' is not a number >= 0 (years)");
            options.Age = *age;
        } else if (name == "--height") {
            const auto height = Number(value);
            if (!height || *height <= 0.0)
                return Error(name, "'" + value + "' is not a number > 0 (metres)");
            options.Height = *height;
        } else if (name == "--weight") {
            const auto weight = Number(value);
            if (!weight || *weight <= 0.0)
                return Error(name, "'" + value + "' is not a number > 0 (kilograms)");
            options.Weight = *weight;
        } else if (name == "--rate") {
            const auto scheduled = SplitMinute(value);
            if (!scheduled)
                return Error(name, "the minute in '" + value + "' is not a number >= 0");
            const auto rate = Number(scheduled->ValueText);
            if (!rate || *rate < 0.0)
                return Error(name,
                             "'" + scheduled->ValueText + "' is not a rate >= 0 (mg/kg/hr)");
            if (*rate > MaxInfusionRate)
                return Error(name + " " + value, RateAboveMaximumText);
            // Before the first scheduled minute the rate is 0, as in the program.
            if (!ratesGiven)
                options.Rates.clear();
            ratesGiven = true;
            if (!options.Rates.emplace(scheduled->Minute, *rate).second)
                return Error(name, "two rates are given from the same minute");
        } else if (name == "--bolus") {
            const auto scheduled = SplitMinute(value);
            if (!scheduled)
                return Error(name, "the minute in '" + value + "' is not a number >= 0");
            const auto mg = Number(scheduled->ValueText);
            if (!mg || *mg <= 0.0 || *mg > MaxBolusMg)
                return Error(name, "'" + scheduled->ValueText
                                       + "' is not a dose above 0 and at most 1000 (mg)");
            if (!options.Boluses.emplace(scheduled->Minute, *mg).second)
                return Error(name, "two boluses are given at the same minute");
        } else if (name == "--minutes") {
            const auto minutes = Number(value);
            if (!minutes || *minutes < 0.0 || *minutes > MaxMinutes)
                return Error(name, "'" + value + "' is not a number of minutes from 0 to 1000000");
            options.Minutes = *minutes;
        } else if (name == "--every") {
            const auto every = Number(value);
            if (!every || *every < 1.0 || *every != std::floor(*every) || *every > 1e9)
                return Error(name, "'" + value + "' is not a whole number of ticks >= 1");
            options.Every = static_cast<long long>(*every);
        } else if (name == "--wake") {
            const auto level = Number(value);
            if (!level || *level <= 0.0)
                return Error(name, "'" + value + "' is not a level > 0 (mcg/ml)");
            options.WakeLevel = *level;
        } else if (name == "--method") {
            if (value != "rk4" && value != "exact")
                return Error(name, "must be rk4 or exact, not '" + value + "'");
            options.Method = value == "exact" ? Stepping::Exact : Stepping::RungeKutta4;
        } else if (const std::string why = ParsePlanOption(name, value, plan); !why.empty()) {
            return Error(name, why);
        }
    }

    for (const char* required : {"--gender", "--age", "--height", "--weight"})
        if (!seen.contains(required))
            return Error(required, "is required (see --help)");
    if (const auto refusal = CheckPlanOptions(options, seen, ratesGiven, plan))
        return *refusal;
    const bool eleveldPlan = options.Plan && options.Plan->Model == ModelKind::Eleveld;
    if (options.Opioid && !options.Eleveld && !eleveldPlan)
        return Error("--opioid",
                     "is a setting of the Eleveld model and needs --eleveld or --plan-model eleveld");

    Patient patient{options.Age, options.Height, options.Weight,
                    [g = options.Gender] { return g; }};
    if (const std::string refusal = PatientRefusal(patient); !refusal.empty())
        return Error("patient", refusal);
    if (options.Method == Stepping::Exact && !ExactTicks(patient, options.Eleveld, options.Opioid).Valid())
        return Error("--method exact", "the exact solution does not hold for this patient; use rk4");
    return options;
}

namespace {

void WriteNumber(std::ostream& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.write(buffer, result.ptr - buffer);
}

void WriteWake(std::ostream& out, std::optional<double> minutesToWake)
{
    out << ',';
    WriteNumber(out, minutesToWake.value_or(std::numeric_limits<double>::infinity()));
}

// `eleveld` is null when its columns are not asked for.
void WriteRow(std::ostream& out, double minutes, double rate, const PharmacokineticEngine& engine,
              const EleveldModel* eleveld, const Patient& patient, std::optional<double> wakeLevel)
{
    WriteNumber(out, minutes);
    out << ',';
    WriteNumber(out, rate);
    for (const double value : engine.Concentrations()) {
        out << ',';
        WriteNumber(out, value);
    }
    if (eleveld)
        for (const double value : {eleveld->Plasma(), eleveld->EffectSite()}) {
            out << ',';
            WriteNumber(out, value);
        }
    if (wakeLevel) {
        for (const std::optional<double> minutesToWake : WakeUpMinutes(engine, patient, *wakeLevel))
            WriteWake(out, minutesToWake);
        if (eleveld)
            WriteWake(out, WakeUpMinutes(*eleveld, patient, *wakeLevel));
    }
    out << '\n';
}

// Whether the tick that begins after `ticksDone` ticks begins at or after `minute`.
bool TickBeginsBy(long long ticksDone, double minute)
{
    return static_cast<long double>(ticksDone) >= TicksPerMinute * static_cast<long double>(minute);
}
} // namespace

void RunSimulation(const Options& options, std::ostream& out)
{
    const Patient patient{options.Age, options.Height, options.Weight,
                          [g = options.Gender] { return g; }};
    PharmacokineticEngine engine;
    engine.ResetModels();
    EleveldModel eleveldModel;
    eleveldModel.Reset(options.Opioid);
    const EleveldModel* eleveld = options.Eleveld ? &eleveldModel : nullptr;
    std::optional<ExactTicks> exact;
    if (options.Method == Stepping::Exact) {
        exact.emplace(patient, options.Eleveld, options.Opioid);
        // ParseArguments refuses the patients it cannot follow.
        if (!exact->Valid())
            throw std::invalid_argument("the exact solution does not hold for this patient");
    }

    out << "minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,han_effect";
    if (eleveld)
        out << ",eleveld_plasma,eleveld_effect";
    if (options.WakeLevel)
        out << ",james_wake,hume_wake,han_wake" << (eleveld ? ",eleveld_wake" : "");
    out << '\n';
    WriteRow(out, 0.0, 0.0, engine, eleveld, patient, options.WakeLevel);

    // Both schedules are walked along with the ticks, never searched again.
    auto nextRate = options.Rates.begin();
    double rate = 0.0;
    auto nextBolus = options.Boluses.begin();
    const auto ticks = static_cast<long long>(
        std::ceil(static_cast<long double>(options.Minutes) * TicksPerMinute));
    for (long long done = 0; done < ticks; ++done) {
        // The latest rate whose minute is not after the tick's start.
        for (; nextRate != options.Rates.end() && TickBeginsBy(done, nextRate->first); ++nextRate)
            rate = nextRate->second;
        double bolusMg = 0.0;
        for (; nextBolus != options.Boluses.end() && TickBeginsBy(done, nextBolus->first);
             ++nextBolus)
            bolusMg += nextBolus->second;
        if (exact) {
            exact->Advance(engine, &eleveldModel, rate, bolusMg,
                           static_cast<double>(done + 1) / TicksPerMinute);
        } else {
            engine.AdvanceTick(patient, rate, bolusMg);
            if (eleveld)
                eleveldModel.AdvanceTick(patient, rate, bolusMg);
        }
        // The row's minute from the step count: the models' own clock adds
        // 1/60 sixty times a tick and drifts in the last digits.
        if ((done + 1) % options.Every == 0)
            WriteRow(out, static_cast<double>(done + 1) / TicksPerMinute, rate, engine, eleveld, patient,
                     options.WakeLevel);
    }
}

int RunPlan(const Options& options, std::ostream& out, std::string& why)
{
    const PlanOptions& plan = *options.Plan;
    const Patient patient{options.Age, options.Height, options.Weight,
                          [g = options.Gender] { return g; }};
    const ModelChoice model{plan.Model, options.Opioid};

    // The case before the plan, tick for tick as a simulation runs it: each
    // rate and bolus from the first tick that begins at or after its minute.
    PharmacokineticEngine engine;
    engine.ResetModels();
    EleveldModel eleveld;
    eleveld.Reset(options.Opioid);
    const auto startsBy = [](long long done, double minute) {
        return static_cast<long double>(done) >= TicksPerMinute * static_cast<long double>(minute);
    };
    auto nextRate = options.Rates.begin();
    auto nextBolus = options.Boluses.begin();
    double rate = 0.0;
    for (long long done = 0; !startsBy(done, plan.FromMinute); ++done) {
        for (; nextRate != options.Rates.end() && startsBy(done, nextRate->first); ++nextRate)
            rate = nextRate->second;
        double bolusMg = 0.0;
        for (; nextBolus != options.Boluses.end() && startsBy(done, nextBolus->first); ++nextBolus)
            bolusMg += nextBolus->second;
        if (model.Kind == ModelKind::Eleveld)
            eleveld.AdvanceTick(patient, rate, bolusMg);
        else
            engine.AdvanceTick(patient, rate, bolusMg);
    }

    PlanRequest request;
    request.Model = model;
    switch (model.Kind) {
    case ModelKind::Eleveld:
        request.Now = eleveld.Slot.State;
        break;
    case ModelKind::Hume:
        request.Now = engine.HumeModel.State;
        break;
    case ModelKind::Janmahasatian:
        request.Now = engine.HanModel.State;
        break;
    case ModelKind::James:
        request.Now = engine.JamesModel.State;
        break;
    }
    request.Target = plan.Target;
    request.ReachMinutes = plan.ReachMinutes;
    request.StepMinutes = plan.StepMinutes;
    request.HorizonMinutes = plan.Hours * 60.0;
    const DosePlan dosePlan = PlanDoses(patient, request);
    if (!dosePlan.Refusal.empty()) {
        why = dosePlan.Refusal;
        return 2;
    }

    out << "minute,bolus_mg,rate\n";
    bool first = true;
    for (const RateStep& step : dosePlan.Course.Steps) {
        WriteNumber(out, plan.FromMinute + step.Minute);
        out << ',';
        if (first && dosePlan.Course.BolusMg > 0.0)
            WriteNumber(out, dosePlan.Course.BolusMg);
        out << ',';
        WriteNumber(out, step.Rate);
        out << '\n';
        first = false;
    }
    if (dosePlan.Check.Unmet == 0)
        return 0;

    const auto limit = [](double value) { return FormatGeneral(value, 15, LocaleSettings{}); };
    why = "no plan within the limits (bolus up to " + limit(PlanMaxBolusMgPerKg) + " mg/kg and "
          + limit(MaxBolusMg) + " mg, rate up to " + limit(PlanMaxRate)
          + " mg/kg/hr) meets every requirement; the closest, printed, misses";
    const char* separator = " ";
    for (const PlanRequirement requirement : {PlanReach, PlanCeiling, PlanHold}) {
        if (!(dosePlan.Check.Unmet & requirement))
            continue;
        why += separator;
        why += PlanRequirementText(requirement);
        separator = "; ";
        if (requirement == PlanReach && dosePlan.Check.ReachedMinutes) {
            // To the hundredth: a tick is a twelfth of a minute.
            const double minute =
                std::round((plan.FromMinute + *dosePlan.Check.ReachedMinutes) * 100.0) / 100.0;
            std::array<char, 32> buffer{};
            const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), minute);
            why += " (it does at minute " + std::string(buffer.data(), end.ptr) + ")";
        }
    }
    return PlanUnmetStatus;
}

} // namespace sedalyn::sim
