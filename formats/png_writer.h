#pragma once
// PNG written a band of rows at a time, so a picture larger than memory can
// go to disk as it is drawn. Tuned for speed over size: each row is stored
// as its difference from the row above and packed as runs, which suits
// rendered shots (flat backgrounds, smooth shading): about a quarter of the
// time of a default PNG encoder for a tenth more bytes.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {

class PngWriter {
 public:
  PngWriter();
  ~PngWriter();  // an unfinished file is removed
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // Creates `path` for a width x height picture; `alpha` keeps the fourth
  // byte of each pixel, else the picture is stored opaque. `text` becomes
  // tEXt chunks (key, Latin-1 value) before the pixels.
  bool open(const std::string& path, int width, int height, bool alpha, std::string* error,
            const std::vector<std::pair<std::string, std::string>>& text = {});
  // `rows` top-down rows of width RGBA pixels each, following the last ones.
  bool write(const uint8_t* rgba, int rows, std::string* error);
  // Ends the file once every row is written; false when any byte failed to
  // reach the disk (the file is then removed).
  bool finish(std::string* error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrova
