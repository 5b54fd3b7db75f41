#pragma once
// Little-endian fields of a metafile's header, read as 0 past its end.
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrova {

inline uint32_t MetafileRead32(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  if (at <= bytes.size() && bytes.size() - at >= 4) std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

inline uint16_t MetafileRead16(const std::vector<uint8_t>& bytes, size_t at) {
  uint16_t value = 0;
  if (at <= bytes.size() && bytes.size() - at >= 2) std::memcpy(&value, bytes.data() + at, 2);
  return value;
}

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"

}  // namespace kestrova
