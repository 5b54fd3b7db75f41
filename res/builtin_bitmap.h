#pragma once
#include <cstdint>
#include <vector>

namespace kestrova {

constexpr int kBuiltinBitmapSize = 64;

// The program's built-in 64 x 64 picture, 24-bit, rows bottom-up, B, G, R:
// a small Kestrova emblem, drawn by code rather than shipped as a file.
std::vector<uint8_t> BuiltinBitmapBgr();

}  // namespace kestrova
