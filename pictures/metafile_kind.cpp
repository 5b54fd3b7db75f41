// Telling a metafile from other pictures: by its header alone, without the
// libraries that play it (those live with the helper that draws it).
#include "metafile.h"
#include "metafile_bytes.h"

#include <algorithm>
#include <string>

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

bool IsSvg(const std::vector<uint8_t>& bytes) {
  // The first element, past a byte-order mark, blanks, the XML declaration,
  // comments and a DOCTYPE, must be <svg>.
  const std::string head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(bytes.size(), 4096)));
  size_t at = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (at < head.size()) {
    while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) ++at;
    if (head.compare(at, 4, "<svg") == 0) return true;
    if (head.compare(at, 2, "<?") == 0 || head.compare(at, 2, "<!") == 0) {
      // A DOCTYPE's internal subset ends at "]>".
      const size_t subset = head.compare(at, 9, "<!DOCTYPE") == 0 ? head.find('[', at) : std::string::npos;
      const size_t close = head.find('>', at);
      const size_t end = subset != std::string::npos && subset < close ? head.find("]>", subset) : close;
      if (end == std::string::npos) return false;
      at = head.find('>', end) + 1;
      continue;
    }
    return false;
  }
  return false;
}

namespace {
int documentPage = 0;
}  // namespace

void SetDocumentPage(int page) { documentPage = page < 0 ? 0 : page; }
int DocumentPage() { return documentPage; }

bool IsPdf(const std::vector<uint8_t>& bytes) {
  static const char kMagic[] = "%PDF-";
  return bytes.size() >= 5 && std::equal(kMagic, kMagic + 5, bytes.begin());
}

bool IsPsd(const std::vector<uint8_t>& bytes) {
  // "8BPS", version 1 (Photoshop) or 2 (large document).
  return bytes.size() >= 26 && bytes[0] == '8' && bytes[1] == 'B' && bytes[2] == 'P' && bytes[3] == 'S' &&
         bytes[4] == 0 && (bytes[5] == 1 || bytes[5] == 2);
}

}  // namespace kestrova
