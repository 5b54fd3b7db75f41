#pragma once
// Small metafiles written record by record: a solid rectangle of one colour
// over the whole picture.
#include <cstdint>
#include <vector>

namespace kestrova::test {

// A placeable WMF `width` x `height` logical units at `unitsPerInch`.
std::vector<uint8_t> MakeWmf(int width, int height, int unitsPerInch, uint8_t r, uint8_t g, uint8_t b);

// An EMF `width` x `height` device pixels whose frame is `frameWidth` x
// `frameHeight` HIMETRIC.
std::vector<uint8_t> MakeEmf(int width, int height, int frameWidth, int frameHeight, uint8_t r,
                             uint8_t g, uint8_t b);

}  // namespace kestrova::test
