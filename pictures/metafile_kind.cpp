// Telling a metafile from other pictures: by its header alone, without the
// libraries that play it (those live with the helper that draws it).
#include "metafile.h"
#include "metafile_bytes.h"

namespace kestrova {

bool IsWmf(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 22 && MetafileRead32(bytes, 0) == kPlaceableKey) return true;
  // A bare metafile header: type 1 (memory) or 2 (disk), 9 words long.
  return bytes.size() >= 18 && (MetafileRead16(bytes, 0) == 1 || MetafileRead16(bytes, 0) == 2) &&
         MetafileRead16(bytes, 2) == 9 &&
         (MetafileRead16(bytes, 4) == 0x0300 || MetafileRead16(bytes, 4) == 0x0100);
}

bool IsEmf(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 88 && MetafileRead32(bytes, 0) == 1 && MetafileRead32(bytes, 40) == kEmfSignature;
}

}  // namespace kestrova
