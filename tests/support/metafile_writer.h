#pragma once
// Small metafiles written record by record: a solid rectangle of one colour
// over the whole picture.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::test {

// A placeable WMF `width` x `height` logical units at `unitsPerInch`.
std::vector<uint8_t> MakeWmf(int width, int height, int unitsPerInch, uint8_t r, uint8_t g, uint8_t b);

// An EMF `width` x `height` device pixels whose frame is `frameWidth` x
// `frameHeight` HIMETRIC; with `text`, a line of text drawn over it.
std::vector<uint8_t> MakeEmf(int width, int height, int frameWidth, int frameHeight, uint8_t r,
                             uint8_t g, uint8_t b, const std::u16string& text = {});

}  // namespace kestrova::test
