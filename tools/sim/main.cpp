#include "Simulator.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace sedalyn::sim;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseResult parsed = ParseArguments(arguments);

    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::cout << Usage;
        return std::cout.flush() ? 0 : 1;
    }
    if (std::holds_alternative<VersionRequested>(parsed)) {
        std::cout << VersionLine << '\n';
        return std::cout.flush() ? 0 : 1;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        std::cerr << "sedalyn-sim: " << error->Message << '\n';
        return 2;
    }

    const Options& options = std::get<Options>(parsed);
    int status = 0;
    std::string why;
    if (options.Plan)
        status = RunPlan(options, std::cout, why);
    else
        RunSimulation(options, std::cout);
    if (!std::cout.flush()) {
        std::cerr << "sedalyn-sim: could not write the output\n";
        return 1;
    }
    if (!why.empty())
        std::cerr << "sedalyn-sim: " << OneLine(why) << '\n';
    return status;
}
