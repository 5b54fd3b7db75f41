#pragma once
// 3D Studio (.3ds) models: the chunk walk that reads one into a Model3DS,
// and a small writer for the models the program ships.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scene/model.h"

namespace kestrova {

// A message for the user, as the loader would show it.
struct LoaderMessage {
  std::string caption;  // "Error" or "Warning"
  std::string text;
};

struct ImportResult {
  bool ok = false;
  std::vector<LoaderMessage> messages;  // errors end the load, warnings do not
};

// Parses a whole file held in memory. `path` only names it in messages. On
// failure `model` is left exactly as it was.
ImportResult Import3DSFromMemory(Model3DS& model, const uint8_t* data, size_t size,
                                 const std::string& path);

// Reads up to `n` bytes of a file at `offset` into `out`; returns how many
// it read, fewer only at the file's end.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t n)>;

// Parses a file of `size` bytes read through `read`, keeping no more of it in
// memory than `window` bytes or the largest single record list; the default
// stays in the processor's cache between read and parse. Gives what
// Import3DSFromMemory gives for the same bytes.
ImportResult Import3DSStreamed(Model3DS& model, uint64_t size, const ReadAt& read, const std::string& path,
                               size_t window = size_t{128} << 10);

// Reads `path` (relative to the current directory) and parses it.
ImportResult Import3DS(Model3DS& model, const std::string& path);

// Per-vertex normals from the faces: each face's a x b with a = v0 - v2 and
// b = v2 - v1, summed per vertex in face order, divided by the negated count
// and normalised. A vertex no face uses gets (0, 0, 0).
void ComputeVertexNormals(Object3DS& object);

// Writes a model whose vertices are in the file's own Z-up coordinates.
// Objects name their material by index (-1: none).
std::vector<uint8_t> Write3DS(const Model3DS& model, uint32_t version = 3);

}  // namespace kestrova
