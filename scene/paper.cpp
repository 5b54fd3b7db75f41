#include "scene/paper.h"

#include <cmath>
#include <iterator>

namespace kestrova {

namespace {

// Straub Publishing, "Paper Weight" (straubpublishing.com/paperweight.asp):
// offset paper of 40, 45, 50, 60, 70 and 81 lb and its caliper in mm
// (0.081, 0.092, 0.097, 0.12, 0.152, 0.155). An offset (text) pound is a ream
// of 500 sheets of 25 x 38 inches: 1.4801 g/m2 a pound.
struct Row {
  double gsm, caliper;
};
constexpr double kGsmPerPound = 1.4801;
constexpr Row kTable[] = {{40 * kGsmPerPound, 0.081}, {45 * kGsmPerPound, 0.092}, {50 * kGsmPerPound, 0.097},
                          {60 * kGsmPerPound, 0.120}, {70 * kGsmPerPound, 0.152}, {81 * kGsmPerPound, 0.155}};

}  // namespace

double LightestPaperGsm() { return kTable[0].gsm; }
double HeaviestPaperGsm() { return kTable[std::size(kTable) - 1].gsm; }

std::optional<double> PaperCaliperMm(double gsm) {
  if (!(gsm >= LightestPaperGsm() - 1e-9 && gsm <= HeaviestPaperGsm() + 1e-9)) return std::nullopt;
  for (size_t i = 1; i < std::size(kTable); ++i) {
    if (gsm > kTable[i].gsm) continue;
    // Between two weights of the table, in proportion.
    const Row& a = kTable[i - 1];
    const Row& b = kTable[i];
    return a.caliper + (b.caliper - a.caliper) * (gsm - a.gsm) / (b.gsm - a.gsm);
  }
  return kTable[std::size(kTable) - 1].caliper;
}

double PageBlockMm(int pages, double caliper) { return std::ceil(pages / 2.0) * caliper; }

}  // namespace kestrova
