#include "png_text.h"

#include <png.h>

#include <cstdio>

namespace kestrova::test {

std::map<std::string, std::string> PngText(const std::string& path) {
  std::map<std::string, std::string> found;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return found;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_info(png, info);
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; ++i) found[text[i].key] = std::string(text[i].text, text[i].text_length);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return found;
}

}  // namespace kestrova::test
