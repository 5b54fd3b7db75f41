#pragma once
// Little-endian bytes by hand, for the files tests build field by field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrova::test {

struct ByteWriter {
  std::vector<uint8_t> data;
  void u16(uint32_t v) {
    data.push_back(static_cast<uint8_t>(v));
    data.push_back(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  // Overwrites four bytes already written, for lengths known only at the end.
  void set32(std::size_t at, uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
};

}  // namespace kestrova::test
