#include "metafile_writer.h"

#include <cstddef>
#include <initializer_list>

#include "byte_writer.h"

using std::size_t;

namespace kestrova::test {

namespace {

using Writer = ByteWriter;

// One WMF record: size in 16-bit words, function, parameters.
void wmfRecord(Writer& w, uint16_t function, std::initializer_list<uint16_t> params) {
  w.u32(static_cast<uint32_t>(3 + params.size()));
  w.u16(function);
  for (uint16_t p : params) w.u16(p);
}

}  // namespace

std::vector<uint8_t> MakeWmf(int width, int height, int unitsPerInch, uint8_t r, uint8_t g, uint8_t b) {
  Writer w;
  // Placeable header with its checksum over the first ten words.
  w.u32(0x9AC6CDD7);
  w.u16(0);
  w.u16(0);
  w.u16(0);
  w.u16(static_cast<uint16_t>(width));
  w.u16(static_cast<uint16_t>(height));
  w.u16(static_cast<uint16_t>(unitsPerInch));
  w.u32(0);
  uint16_t checksum = 0;
  for (size_t i = 0; i < 20; i += 2) checksum ^= static_cast<uint16_t>(w.data[i] | (w.data[i + 1] << 8));
  w.u16(checksum);

  const size_t header = w.data.size();
  w.u16(1);       // in memory
  w.u16(9);       // header words
  w.u16(0x0300);  // version
  w.u32(0);       // total size, filled below
  w.u16(1);       // objects
  w.u32(7);       // largest record
  w.u16(0);
  wmfRecord(w, 0x020B, {0, 0});  // SETWINDOWORG y, x
  wmfRecord(w, 0x020C, {static_cast<uint16_t>(height), static_cast<uint16_t>(width)});  // SETWINDOWEXT
  // CREATEBRUSHINDIRECT: solid, COLORREF r g b 0, no hatch.
  wmfRecord(w, 0x02FC, {0, static_cast<uint16_t>(r | (g << 8)), b, 0});
  wmfRecord(w, 0x012D, {0});  // SELECTOBJECT
  // RECTANGLE bottom, right, top, left.
  wmfRecord(w, 0x041B, {static_cast<uint16_t>(height), static_cast<uint16_t>(width), 0, 0});
  wmfRecord(w, 0x0000, {});
  w.set32(header + 6, static_cast<uint32_t>((w.data.size() - header) / 2));
  return w.data;
}

std::vector<uint8_t> MakeEmf(int width, int height, int frameWidth, int frameHeight, uint8_t r,
                             uint8_t g, uint8_t b, const std::u16string& text) {
  Writer w;
  w.u32(1);   // EMR_HEADER
  w.u32(88);  // record size
  for (int v : {0, 0, width - 1, height - 1}) w.u32(static_cast<uint32_t>(v));  // bounds
  for (int v : {0, 0, frameWidth, frameHeight}) w.u32(static_cast<uint32_t>(v));  // frame
  w.u32(0x464D4520);  // " EMF"
  w.u32(0x10000);
  w.u32(0);  // total bytes, filled below
  w.u32(0);  // records, filled below
  w.u16(2);  // handles
  w.u16(0);
  w.u32(0);
  w.u32(0);
  w.u32(0);
  w.u32(static_cast<uint32_t>(width));  // reference device, pixels
  w.u32(static_cast<uint32_t>(height));
  w.u32(static_cast<uint32_t>(frameWidth / 100));  // and millimetres
  w.u32(static_cast<uint32_t>(frameHeight / 100));
  uint32_t records = 1;

  w.u32(39);  // EMR_CREATEBRUSHINDIRECT
  w.u32(24);
  w.u32(1);
  w.u32(0);  // BS_SOLID
  w.u32(static_cast<uint32_t>(r | (g << 8) | (b << 16)));
  w.u32(0);
  ++records;
  w.u32(37);  // EMR_SELECTOBJECT
  w.u32(12);
  w.u32(1);
  ++records;
  w.u32(37);  // the null pen
  w.u32(12);
  w.u32(0x80000008);
  ++records;
  w.u32(43);  // EMR_RECTANGLE
  w.u32(24);
  for (int v : {0, 0, width, height}) w.u32(static_cast<uint32_t>(v));
  ++records;
  if (!text.empty()) {
    // EMR_EXTTEXTOUTW: the text at the top left, its string and its advances
    // after the 76-byte record head.
    const uint32_t chars = static_cast<uint32_t>(text.size());
    const uint32_t stringBytes = (chars * 2 + 3) / 4 * 4;
    w.u32(84);
    w.u32(76 + stringBytes + chars * 4);
    for (int v : {0, 0, width, height}) w.u32(static_cast<uint32_t>(v));  // bounds
    w.u32(1);  // GM_COMPATIBLE
    w.f32(1.0f);
    w.f32(1.0f);
    w.u32(2);  // reference point
    w.u32(2);
    w.u32(chars);
    w.u32(76);  // offset of the string
    w.u32(0);   // options
    for (int v : {0, 0, width, height}) w.u32(static_cast<uint32_t>(v));
    w.u32(76 + stringBytes);  // offset of the advances
    for (char16_t c : text) w.u16(c);
    for (uint32_t pad = chars * 2; pad < stringBytes; pad += 2) w.u16(0);
    for (uint32_t i = 0; i < chars; ++i) w.u32(8);
    ++records;
  }
  w.u32(14);  // EMR_EOF
  w.u32(20);
  w.u32(0);
  w.u32(16);
  w.u32(20);
  ++records;
  w.set32(48, static_cast<uint32_t>(w.data.size()));
  w.set32(52, records);
  return w.data;
}

}  // namespace kestrova::test
