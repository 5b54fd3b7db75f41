// A book's thickness from its pages, against printers' own published
// figures.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "scene/paper.h"

using namespace kestrova;

// Straub Publishing's table of offset paper: pounds and caliper in mm. An
// offset pound is 1.4801 g/m2 (500 sheets of 25 x 38 inches).
TEST(Paper, EachWeightOfThePublishedTableHasItsCaliperAndOthersLieBetween) {
  const struct {
    double pounds, millimetres;
  } table[] = {{40, 0.081}, {45, 0.092}, {50, 0.097}, {60, 0.12}, {70, 0.152}, {81, 0.155}};
  for (const auto& row : table) {
    const std::optional<double> caliper = PaperCaliperMm(row.pounds * 1.4801);
    ASSERT_TRUE(caliper) << row.pounds << " lb";
    EXPECT_NEAR(*caliper, row.millimetres, 1e-9) << row.pounds << " lb";
  }
  // Halfway between 50 and 60 lb, halfway between their calipers.
  EXPECT_NEAR(*PaperCaliperMm(55 * 1.4801), (0.097 + 0.12) / 2, 1e-9);
  // Outside the table: no answer rather than a guess.
  EXPECT_FALSE(PaperCaliperMm(39 * 1.4801));
  EXPECT_FALSE(PaperCaliperMm(82 * 1.4801));
  EXPECT_FALSE(PaperCaliperMm(std::nan("")));
}

// Patterson Printing's worked example: 128 pages on paper of .0039 inch make
// a spine of 64 x .0039 = .2496 inch. An odd page count still needs its
// last leaf.
TEST(Paper, TheSpineIsTheLeavesTimesTheCaliperAsPrintersWorkItOut) {
  EXPECT_NEAR(PageBlockMm(128, 0.0039 * 25.4), 0.2496 * 25.4, 1e-9);
  EXPECT_NEAR(PageBlockMm(129, 0.1), 6.5, 1e-9);
}
