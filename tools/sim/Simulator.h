#pragma once
// sedalyn-sim: runs the program's own tick over a rate schedule and prints
// the six concentrations as CSV, for teaching, research and checking a case.

#include <iosfwd>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace sedalyn::sim {

struct Options {
    std::string Gender;
    double Age = 0.0;
    double Height = 0.0;
    double Weight = 0.0;
    // Model minute from which a rate applies -> rate (mg/kg/hr).
    std::map<double, double> Rates{{0.0, 0.0}};
    double Minutes = 60.0;
    long long Every = 1;
};

struct HelpRequested {};

struct UsageError {
    std::string Message; // one line naming the argument and why
};

using ParseResult = std::variant<Options, HelpRequested, UsageError>;

ParseResult ParseArguments(const std::vector<std::string>& arguments);

extern const char* const Usage;

// Writes the header, the zero row and a row after every `Every`-th tick.
void RunSimulation(const Options& options, std::ostream& out);

} // namespace sedalyn::sim
