#include "BodySize.h"

namespace sedalyn {

namespace {
// Intermediate arithmetic is carried in the widest type and stored as double.
using Wide = long double;

// Hume: lean body mass is total body water divided by 0.73, taken as
// x 100 x (1/73) with 1/73 in extended precision.
constexpr Wide OneSeventyThird = 0.01369863013698630137L;
} // namespace

double BodyMassIndex(double height, double weight)
{
    const Wide h = height;
    return static_cast<double>(Wide{weight} / (h * h));
}

double JamesLbm(bool isMale, double height, double weight)
{
    const Wide w = weight;
    const Wide hcm = Wide{height} * 100.0L;
    if (isMale)
        return static_cast<double>(1.1L * w - 128.0L * (w * w) / (hcm * hcm));
    return static_cast<double>(1.07L * w - 148.0L * (w * w) / (hcm * hcm));
}

double HumeLbm(bool isMale, double height, double weight)
{
    const Wide w = weight;
    const Wide hcm = Wide{height} * 100.0L;
    const Wide totalBodyWater = isMale ? 0.194786L * hcm + 0.296785L * w - 14.012934L
                                       : 0.344547L * hcm + 0.183809L * w - 35.270121L;
    return static_cast<double>(totalBodyWater * 100.0L * OneSeventyThird);
}

double JanmahasatianLbm(bool isMale, double height, double weight)
{
    const Wide w = weight;
    const Wide h = height;
    if (isMale)
        return static_cast<double>(9270.0L * w / (6680.0L + 216.0L * w / (h * h)));
    return static_cast<double>(9270.0L * w / (8780.0L + 244.0L * w / (h * h)));
}

bool Patient::IsMale() const
{
    return GenderCaption && GenderCaption() == MaleCaption;
}

double SelectedLbm(const Patient& patient, LbmAlgorithm algorithm)
{
    const bool male = patient.IsMale();
    switch (algorithm) {
    case LbmAlgorithm::James:
        return JamesLbm(male, patient.PatientHeight, patient.PatientWeight);
    case LbmAlgorithm::Hume:
        return HumeLbm(male, patient.PatientHeight, patient.PatientWeight);
    case LbmAlgorithm::Janmahasatian:
        return JanmahasatianLbm(male, patient.PatientHeight, patient.PatientWeight);
    }
    return 0.0;
}

const char* AlgorithmName(LbmAlgorithm algorithm)
{
    switch (algorithm) {
    case LbmAlgorithm::James:
        return "James";
    case LbmAlgorithm::Hume:
        return "Hume";
    case LbmAlgorithm::Janmahasatian:
        return "Janmahasatian";
    }
    return "";
}

} // namespace sedalyn
