#include "cli/batch.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace kestrova {

namespace {

struct Collector {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
};

void onField(void* text, size_t length, void* data) {
  static_cast<Collector*>(data)->record.emplace_back(static_cast<const char*>(text), length);
}

void onRecord(int, void* data) {
  auto* collector = static_cast<Collector*>(data);
  collector->records.push_back(std::move(collector->record));
  collector->record.clear();
}

// Options that take a value, by column name.
constexpr const char* kValueColumns[] = {"project", "output", "size",     "product", "style",      "rotation",
                                         "frame",   "frames", "video",    "turntable", "supersample", "background",
                                         "quality", "fps",    "floor",    "shadow",  "reflection", "softness",
                                         "look",    "studio", "environment", "lens", "fit", "gloss",
                                         "glb",     "usdz",   "html",     "dimensions", "texture-size",
                                         "blank",   "glaze",  "turn-pictures", "describe", "pages", "paper"};
// Options that are a flag: the cell says yes or no.
// Not "allow-web": only the person running the program may let a render
// reach the network, never a spreadsheet handed to them.
constexpr const char* kFlagColumns[] = {"transparent", "lighting", "allow-missing", "no-metadata"};

// 1 for yes, 0 for no, -1 for a cell that says neither.
int yesOrNo(std::string cell) {
  std::transform(cell.begin(), cell.end(), cell.begin(), [](unsigned char c) { return std::tolower(c); });
  while (!cell.empty() && std::isspace(static_cast<unsigned char>(cell.back()))) cell.pop_back();
  while (!cell.empty() && std::isspace(static_cast<unsigned char>(cell.front()))) cell.erase(0, 1);
  if (cell == "1" || cell == "yes" || cell == "true") return 1;
  if (cell == "0" || cell == "no" || cell == "false") return 0;
  return -1;
}

}  // namespace

bool ReadBatch(const std::string& path, BatchTable* table, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  return ReadBatchFrom(in, path, table, error);
}

bool ReadBatchFrom(std::istream& in, const std::string& path, BatchTable* table, std::string* error) {
  csv_parser parser;
  csv_init(&parser, CSV_APPEND_NULL);
  Collector collector;
  char block[65536];
  bool ok = true;
  bool first = true;
  while (ok && (in.read(block, sizeof block) || in.gcount() > 0)) {
    auto length = static_cast<size_t>(in.gcount());
    const char* start = block;
    // A byte-order mark goes before the parser sees it, so a quoted header
    // name after it is still read as quoted.
    if (first && length >= 3 && std::equal(block, block + 3, "\xEF\xBB\xBF")) start += 3, length -= 3;
    first = false;
    ok = csv_parse(&parser, start, length, onField, onRecord, &collector) == length;
  }
  ok = ok && csv_fini(&parser, onField, onRecord, &collector) == 0;
  if (!ok) *error = path + " is not a CSV file: " + csv_strerror(csv_error(&parser));
  csv_free(&parser);
  if (!ok) return false;
  if (collector.records.empty()) {
    *error = path + " has no header row naming its columns";
    return false;
  }
  table->columns = collector.records.front();
  for (std::string& column : table->columns) {
    // A spreadsheet may save a byte-order mark and spaces around names.
    if (column.rfind("\xEF\xBB\xBF", 0) == 0) column.erase(0, 3);
    while (!column.empty() && std::isspace(static_cast<unsigned char>(column.back()))) column.pop_back();
    while (!column.empty() && std::isspace(static_cast<unsigned char>(column.front()))) column.erase(0, 1);
  }
  table->rows.clear();
  for (size_t i = 1; i < collector.records.size(); ++i) {
    std::vector<std::string> row = collector.records[i];
    // A blank line is no job.
    if (std::all_of(row.begin(), row.end(), [](const std::string& cell) { return cell.empty(); })) continue;
    const bool overlong = std::any_of(row.begin() + static_cast<std::ptrdiff_t>(std::min(row.size(), table->columns.size())),
                                      row.end(), [](const std::string& cell) { return !cell.empty(); });
    if (overlong) table->overlong.push_back(table->rows.size());
    row.resize(table->columns.size());
    table->rows.push_back(std::move(row));
  }
  return true;
}

bool RowArguments(const BatchTable& table, size_t row, std::vector<std::string>* arguments, std::string* error) {
  if (std::find(table.overlong.begin(), table.overlong.end(), row) != table.overlong.end()) {
    *error = "the row has more cells than the header names columns (" + std::to_string(table.columns.size()) + ")";
    return false;
  }
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const std::string& column = table.columns[c];
    const std::string& cell = table.rows[row][c];
    if (cell.empty()) continue;
    if (column.rfind("face.", 0) == 0) {
      arguments->push_back("--face");
      arguments->push_back(column.substr(5) + "=" + cell);
    } else if (std::find(std::begin(kValueColumns), std::end(kValueColumns), column) != std::end(kValueColumns)) {
      arguments->push_back("--" + column);
      arguments->push_back(cell);
    } else if (std::find(std::begin(kFlagColumns), std::end(kFlagColumns), column) != std::end(kFlagColumns)) {
      const int answer = yesOrNo(cell);
      if (answer < 0) {
        *error = "the " + column + " cell says '" + cell + "': yes, no, true, false, 1 or 0";
        return false;
      }
      const std::string flag = "--" + column;
      // "no" takes away what the command line asked for.
      arguments->erase(std::remove(arguments->begin(), arguments->end(), flag), arguments->end());
      if (answer == 1) arguments->push_back(flag);
    } else if (column == "allow-web") {
      *error = "the column \"allow-web\" is refused: only --allow-web on the command line lets a render fetch from the web";
      return false;
    } else {
      *error = "the column \"" + column + "\" is no option of kestrova-render";
      return false;
    }
  }
  return true;
}

}  // namespace kestrova
