// libFuzzer harness for the spreadsheet reader: any bytes are read or
// refused, every row read has a cell for each column, and each row's
// options are made or refused with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  kestrova::BatchTable table;
  std::string error;
  if (!kestrova::ReadBatchFrom(in, "fuzz.csv", &table, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (size_t row = 0; row < table.rows.size(); ++row) {
    if (table.rows[row].size() != table.columns.size()) std::abort();
    std::vector<std::string> arguments;
    std::string why;
    if (!kestrova::RowArguments(table, row, &arguments, &why) && why.empty()) std::abort();
  }
  return 0;
}
