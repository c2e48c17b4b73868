#pragma once
// Body-size figures of the patient: body-mass index and three lean body
// masses (James, Hume, Janmahasatian). Height in metres, weight in kilograms.

#include <cstdint>
#include <functional>
#include <string>

namespace sedalyn {

// Which lean-body-mass formula feeds the Schnider clearance.
enum class LbmAlgorithm : std::uint8_t { James = 1, Hume = 2, Janmahasatian = 3 };

// The three side by side, in the order the window and the files show them.
inline constexpr LbmAlgorithm AllAlgorithms[] = {LbmAlgorithm::James, LbmAlgorithm::Hume,
                                                 LbmAlgorithm::Janmahasatian};

// "James", "Hume", "Janmahasatian".
const char* AlgorithmName(LbmAlgorithm algorithm);

double BodyMassIndex(double height, double weight);
double JamesLbm(bool isMale, double height, double weight);
double HumeLbm(bool isMale, double height, double weight);
double JanmahasatianLbm(bool isMale, double height, double weight);

// The gender is never stored: it is the caption of the gender button, read
// each time it is needed. The program installs a source reading that caption;
// only the exact text "Male" means male.
using GenderCaptionSource = std::function<std::string()>;

// The confirmed patient values. Age in years, height in metres, weight in kg.
struct Patient {
    double PatientAge = 0.0;
    double PatientHeight = 0.0;
    double PatientWeight = 0.0;
    GenderCaptionSource GenderCaption;

    bool IsMale() const;
};

inline constexpr const char* MaleCaption = "Male";
inline constexpr const char* FemaleCaption = "Female";

// Lean body mass of the patient by the chosen formula; 0 for a selector
// outside the three formulas (no caller passes one).
double SelectedLbm(const Patient& patient, LbmAlgorithm algorithm);

} // namespace sedalyn
