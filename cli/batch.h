#pragma once
// A spreadsheet of renders: the first row names the columns, each an option
// of kestrova-render without its dashes; every other row is one job.
#include <istream>
#include <string>
#include <vector>

namespace kestrova {

struct BatchTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;  // as many cells as columns
  // Rows with more cells than the header names: refused, by row index.
  std::vector<size_t> overlong;
};

// Reads a CSV file (quoted cells may hold commas and line breaks). False with
// `error` when it cannot be read or has no header.
bool ReadBatch(const std::string& path, BatchTable* table, std::string* error);
// The same from a stream; `path` names it in messages.
bool ReadBatchFrom(std::istream& in, const std::string& path, BatchTable* table, std::string* error);

// The options a row adds to the command line's: "--column value" for every
// non-empty cell; "face.NAME" becomes "--face NAME=value"; yes/no columns
// (transparent, lighting) add their flag when the cell says yes, true or 1,
// and take the command line's away when it says no, false or 0. False with
// `error` for a column no option has, a flag cell that says anything else,
// or a row with more cells than the header has columns.
bool RowArguments(const BatchTable& table, size_t row, std::vector<std::string>* arguments, std::string* error);

}  // namespace kestrova
