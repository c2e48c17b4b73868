#include "Simulator.h"

#include "PharmacokineticEngine.h"
#include "TextFormats.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>
#include <set>

namespace sedalyn::sim {

const char* const Usage =
    "usage: sedalyn-sim --gender Male|Female --age YEARS --height METRES --weight KG\n"
    "                   [--rate RATE] [--rate MINUTE=RATE]... [--minutes N] [--every K]\n"
    "\n"
    "Predicts propofol plasma and effect-site concentrations (mcg/ml) with the Schnider\n"
    "model and the James, Hume and Janmahasatian lean body masses, exactly as Sedalyn\n"
    "does: one 5-second tick at a time, 12 ticks per model minute.\n"
    "\n"
    "  --rate RATE          infusion rate in mg/kg/hr from minute 0 (default 0)\n"
    "  --rate MINUTE=RATE   the rate from model minute MINUTE on (repeatable); it applies\n"
    "                       to every tick that begins at or after that minute\n"
    "  --minutes N          model minutes to run (default 60); N x 12 ticks, rounded up\n"
    "  --every K            print a row every K ticks (default 1)\n"
    "  --help               show this text\n"
    "\n"
    "Output: CSV on stdout, a row for minute 0 and one after every K-th tick:\n"
    "minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,han_effect\n"
    "Sedalyn predicts; it controls nothing and is not a medical device.\n";

namespace {

// Long enough for months of model time, short enough to finish in seconds.
constexpr double MaxMinutes = 1'000'000.0;

UsageError Error(const std::string& argument, const std::string& why)
{
    return UsageError{argument + ": " + why};
}

std::optional<double> Number(const std::string& text)
{
    return ParseNumber(text);
}

} // namespace

ParseResult ParseArguments(const std::vector<std::string>& arguments)
{
    Options options;
    std::set<std::string> seen;
    bool ratesGiven = false;

    for (const std::string& argument : arguments)
        if (argument == "--help" || argument == "-h")
            return HelpRequested{};

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name != "--gender" && name != "--age" && name != "--height" && name != "--weight"
            && name != "--rate" && name != "--minutes" && name != "--every")
            return Error(name, "unknown argument (see --help)");
        if (i + 1 >= arguments.size())
            return Error(name, "a value is missing");
        const std::string& value = arguments[++i];
        if (name != "--rate" && !seen.insert(name).second)
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
            const std::size_t equals = value.find('=');
            double minute = 0.0;
            std::string rateText = value;
            if (equals != std::string::npos) {
                const auto parsed = Number(value.substr(0, equals));
                if (!parsed || *parsed < 0.0)
                    return Error(name, "the minute in '" + value + "' is not a number >= 0");
                minute = *parsed;
                rateText = value.substr(equals + 1);
            }
            const auto rate = Number(rateText);
            if (!rate || *rate < 0.0)
                return Error(name, "'" + rateText + "' is not a rate >= 0 (mg/kg/hr)");
            // Before the first scheduled minute the rate is 0, as in the program.
            if (!ratesGiven)
                options.Rates.clear();
            ratesGiven = true;
            if (!options.Rates.emplace(minute, *rate).second)
                return Error(name, "two rates are given from the same minute");
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
        }
    }

    for (const char* required : {"--gender", "--age", "--height", "--weight"})
        if (!seen.contains(required))
            return Error(required, "is required (see --help)");

    Patient patient{options.Age, options.Height, options.Weight,
                    [g = options.Gender] { return g; }};
    if (const std::string refusal = PatientRefusal(patient); !refusal.empty())
        return UsageError{"patient: " + refusal};
    return options;
}

namespace {

void WriteNumber(std::ostream& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.write(buffer, result.ptr - buffer);
}

void WriteRow(std::ostream& out, double minutes, double rate, const PharmacokineticEngine& engine)
{
    WriteNumber(out, minutes);
    out << ',';
    WriteNumber(out, rate);
    for (const ModelSlot* slot : {&engine.JamesModel, &engine.HumeModel, &engine.HanModel}) {
        out << ',';
        WriteNumber(out, slot->State[StatePlasma]);
        out << ',';
        WriteNumber(out, slot->State[StateEffectSite]);
    }
    out << '\n';
}

// The rate confirmed for the tick that begins after `ticksDone` ticks: the
// latest schedule entry whose minute is not after the tick's start.
double RateForTick(const std::map<double, double>& rates, long long ticksDone)
{
    double rate = 0.0;
    for (const auto& [minute, value] : rates) {
        if (static_cast<long double>(ticksDone) < TicksPerMinute * static_cast<long double>(minute))
            break;
        rate = value;
    }
    return rate;
}

} // namespace

void RunSimulation(const Options& options, std::ostream& out)
{
    const Patient patient{options.Age, options.Height, options.Weight,
                          [g = options.Gender] { return g; }};
    PharmacokineticEngine engine;
    engine.ResetModels();

    out << "minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,han_effect\n";
    WriteRow(out, 0.0, 0.0, engine);

    const auto ticks = static_cast<long long>(
        std::ceil(static_cast<long double>(options.Minutes) * TicksPerMinute));
    for (long long done = 0; done < ticks; ++done) {
        const double rate = RateForTick(options.Rates, done);
        engine.AdvanceTick(patient, rate);
        if ((done + 1) % options.Every == 0)
            WriteRow(out, engine.JamesModel.State[StateTime], rate, engine);
    }
}

} // namespace sedalyn::sim
