#include "RungeKutta.h"

#include <cstdio>
#include <cstdlib>

namespace sedalyn {

namespace {

void WriteToStderr(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

IntegratorMessageSink messageSink = &WriteToStderr;

} // namespace

std::string IntegratorErrorText(IntegratorErrorCode code)
{
    switch (code) {
    case 0:
    case 5:
        return {};
    case 1:
        return "( Results < 0 ) or ( Intervals MOD Resullts <> 0).";
    case 2:
        return "Inadequate number of intervals.";
    case 3:
        return "Number of Equations < 0.";
    case 4:
        return "No range specified.";
    default:
        return "Error not determined.";
    }
}

bool IntegratorErrorIsFatal(IntegratorErrorCode code)
{
    return code != 0 && code != 5;
}

void SetIntegratorMessageSink(IntegratorMessageSink sink)
{
    messageSink = sink ? sink : &WriteToStderr;
}

void ReportIntegratorError(IntegratorErrorCode code)
{
    if (!IntegratorErrorIsFatal(code))
        return;
    messageSink(IntegratorErrorText(code));
    // Nothing of the normal shutdown runs; whatever was written already reached the OS.
    std::fflush(nullptr);
    std::_Exit(1);
}

} // namespace sedalyn
