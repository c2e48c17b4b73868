#pragma once
// sedalyn-sim: runs the program's own tick over a rate and bolus schedule and
// prints the six concentrations as CSV, for teaching, research and checking a case.

#include "Projection.h"

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sedalyn::sim {

// How a tick advances the models: the program's own five Runge-Kutta steps,
// or the exact transition of the linear model over the tick.
enum class Stepping { RungeKutta4, Exact };

// --plan: a dosing plan printed in place of the concentrations.
struct PlanOptions {
    double Target = 0.0;       // Ce, mcg/ml
    double ReachMinutes = 0.0; // from the plan's start
    ModelKind Model = ModelKind::James;
    double StepMinutes = 10.0;
    double Hours = 2.0;
    double FromMinute = 0.0;   // the case before it is given by --rate and --bolus
};

struct Options {
    std::string Gender;
    double Age = 0.0;
    double Height = 0.0;
    double Weight = 0.0;
    // Model minute from which a rate applies -> rate (mg/kg/hr).
    std::map<double, double> Rates{{0.0, 0.0}};
    // Model minute at or after which a bolus is given -> mg.
    std::map<double, double> Boluses;
    double Minutes = 60.0;
    long long Every = 1;
    // Effect-site level (mcg/ml) for the wake-up columns; none without them.
    std::optional<double> WakeLevel;
    // The Eleveld model's columns after the Schnider ones, and its opioid setting.
    bool Eleveld = false;
    bool Opioid = false;
    Stepping Method = Stepping::RungeKutta4;
    std::optional<PlanOptions> Plan;
};

struct HelpRequested {};
struct VersionRequested {};

struct UsageError {
    std::string Message; // one line naming the argument and why; control characters escaped
};

using ParseResult = std::variant<Options, HelpRequested, VersionRequested, UsageError>;

ParseResult ParseArguments(const std::vector<std::string>& arguments);

extern const char* const Usage;
extern const char* const VersionLine; // "sedalyn-sim X.Y.Z", without the newline

// The text with control characters, line breaks and bytes that are not UTF-8
// written as escapes (\n, \r, \t, \x1b), so that it prints on one line.
std::string OneLine(const std::string& text);

// Writes the header, the zero row and a row after every `Every`-th tick; with
// a wake level, each row ends in the three wake-up times (four with Eleveld).
// The cost of a tick does not grow with the length of the run or of the schedule.
void RunSimulation(const Options& options, std::ostream& out);

// The exit status when a plan misses a requirement; the closest plan is printed still.
inline constexpr int PlanUnmetStatus = 3;

// Runs the case up to the plan's start and writes the plan as CSV
// (minute,bolus_mg,rate, one row per rate change, minutes from the case's
// start). Returns 0, or PlanUnmetStatus with one line for stderr in `why`;
// a plan the planner refuses gives 2 and its reason.
int RunPlan(const Options& options, std::ostream& out, std::string& why);

} // namespace sedalyn::sim
