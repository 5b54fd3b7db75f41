#pragma once
// How thick a book is from its pages: the paper's caliper by its weight.
#include <optional>

namespace kestrova {

// The caliper in millimetres of uncoated book (offset) paper of `gsm` grams
// a square metre, from a printer's published table; none outside it.
std::optional<double> PaperCaliperMm(double gsm);

// The lightest and heaviest paper the table holds, in g/m2.
double LightestPaperGsm();
double HeaviestPaperGsm();

// The page block of `pages` printed pages (two to a leaf) on paper of
// `caliper` mm, as printers work out a spine: leaves times the caliper.
double PageBlockMm(int pages, double caliper);

}  // namespace kestrova
