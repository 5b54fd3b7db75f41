#include "model_3ds.h"

#include <cerrno>
#include <cstring>

#include "file_read.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>

namespace kestrova {

namespace {

constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kVersion = 0x0002;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kMeshVersion = 0x3D3E;
constexpr uint16_t kMaterial = 0xAFFF;
constexpr uint16_t kMaterialName = 0xA000;
constexpr uint16_t kDiffuse = 0xA020;
constexpr uint16_t kColour24 = 0x0011;
constexpr uint16_t kTextureMap = 0xA200;
constexpr uint16_t kTextureFile = 0xA300;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kMesh = 0x4100;
constexpr uint16_t kVertices = 0x4110;
constexpr uint16_t kFaces = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kTexCoords = 0x4140;

constexpr size_t kHeader = 6;
// Real files nest five or six deep; anything far deeper is not a model.
constexpr int kMaxDepth = 32;

std::string format(const char* pattern, const std::string& path) {
  std::string text = pattern;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

struct Chunk {
  uint16_t id = 0;
  size_t begin = 0;  // offset of the header
  size_t end = 0;    // one past the chunk's last byte
  size_t data() const { return begin + kHeader; }
};


// A failed parse: the reason, shown to the user.
struct Damaged {
  std::string reason;
};

class Parser {
 public:
  explicit Parser(const uint8_t* data) : data_(data) {}

  void parseMain(Chunk main) {
    children(main.data(), main.end, false, 1);
  }

  Model3DS model;
  std::vector<LoaderMessage> warnings;
  uint32_t fileVersion = 0;

 private:
  uint16_t u16(size_t at) const {
    uint16_t v;
    std::memcpy(&v, data_ + at, 2);
    return v;
  }
  uint32_t u32(size_t at) const {
    uint32_t v;
    std::memcpy(&v, data_ + at, 4);
    return v;
  }
  float f32(size_t at) const {
    float v;
    std::memcpy(&v, data_ + at, 4);
    return v;
  }

  // Reads the header at `at`, which must lie whole inside [at, parentEnd).
  Chunk header(size_t at, size_t parentEnd) const {
    if (parentEnd - at < kHeader) {
      throw Damaged{"a chunk header at byte " + std::to_string(at) + " runs past its parent"};
    }
    Chunk chunk;
    chunk.id = u16(at);
    chunk.begin = at;
    const uint32_t length = u32(at + 2);
    if (length < kHeader) {
      throw Damaged{"the chunk at byte " + std::to_string(at) + " claims a length of " +
                    std::to_string(length) + " bytes"};
    }
    if (length > parentEnd - at) {
      throw Damaged{"the chunk at byte " + std::to_string(at) + " (" + std::to_string(length) +
                    " bytes) runs past the end of its parent or of the file"};
    }
    chunk.end = at + length;
    return chunk;
  }

  // A zero-terminated string starting at `at` inside the chunk; returns the
  // offset after its terminator.
  size_t string(size_t at, size_t end, std::string& out) const {
    const void* zero = std::memchr(data_ + at, 0, end - at);
    if (!zero) throw Damaged{"a name at byte " + std::to_string(at) + " has no end"};
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (data_ + at));
    // Names are kept to the 254 characters a record holds.
    out.assign(reinterpret_cast<const char*>(data_ + at), std::min<size_t>(length, 254));
    return at + length + 1;
  }

  // A 16-bit count followed by count records of `recordSize` bytes.
  size_t counted(size_t at, size_t end, size_t recordSize, const char* what, uint16_t& count) const {
    if (end - at < 2) throw Damaged{std::string("the ") + what + " chunk has no count"};
    count = u16(at);
    if (static_cast<size_t>(count) * recordSize > end - at - 2) {
      throw Damaged{std::string("the ") + what + " chunk holds fewer entries than its count of " +
                    std::to_string(count)};
    }
    return at + 2;
  }

  Object3DS& currentObject() {
    if (model.objects.empty()) throw Damaged{"mesh data stands outside any object"};
    return model.objects.back();
  }

  Material3DS& currentMaterial() {
    if (model.materials.empty()) throw Damaged{"material data stands outside any material"};
    return model.materials.back();
  }

  // The walk handles every chunk by its identifier wherever it meets it, at
  // any depth, as 3D Studio files nest chunks more loosely than their usual
  // layout; data for an object or a material goes to the last one begun.
  void children(size_t at, size_t end, bool skipFirstChild, int depth) {
    if (depth > kMaxDepth) throw Damaged{"the chunks are nested too deeply"};
    bool first = true;
    while (at < end) {
      const Chunk chunk = header(at, end);
      // The editor block's first child is the mesh version, skipped whole.
      if (skipFirstChild && first) {
        first = false;
        at = chunk.end;
        continue;
      }
      first = false;
      handle(chunk, depth);
      at = chunk.end;
    }
  }

  void handle(const Chunk& chunk, int depth) {
    switch (chunk.id) {
      case kVersion:
        if (chunk.end - chunk.data() >= 4) {
          fileVersion = u32(chunk.data());
          if (fileVersion >= 4) {
            warnings.push_back({"Warning", "This 3DS file is over version 3 so it may load incorrectly"});
          }
        }
        return;
      case kEditor:
        children(chunk.data(), chunk.end, true, depth + 1);
        return;
      case kMaterial:
        model.materials.emplace_back();
        children(chunk.data(), chunk.end, false, depth + 1);
        return;
      case kMaterialName:
        string(chunk.data(), chunk.end, currentMaterial().name);
        return;
      case kDiffuse: {
        // The colour sub-chunk: its header, then its first three bytes.
        Material3DS& material = currentMaterial();
        if (chunk.end - chunk.data() < kHeader) return;
        const Chunk colour = header(chunk.data(), chunk.end);
        const size_t bytes = std::min<size_t>(3, colour.end - colour.data());
        std::memcpy(material.colour.data(), data_ + colour.data(), bytes);
        return;
      }
      case kTextureMap:
        children(chunk.data(), chunk.end, false, depth + 1);
        return;
      case kTextureFile:
        string(chunk.data(), chunk.end, currentMaterial().textureFile);
        return;
      case kObject: {
        model.objects.emplace_back();
        const size_t after = string(chunk.data(), chunk.end, model.objects.back().name);
        children(after, chunk.end, false, depth + 1);
        // An object with neither vertices nor faces draws nothing; kept, a
        // file of millions of 7-byte empty objects would take gigabytes.
        if (model.objects.back().vertices.empty() && model.objects.back().faces.empty()) model.objects.pop_back();
        return;
      }
      case kMesh:
        children(chunk.data(), chunk.end, false, depth + 1);
        return;
      case kVertices:
      case kFaces:
      case kFaceMaterial:
      case kTexCoords:
        mesh(chunk, depth);
        return;
      default:
        return;  // the keyframer block and anything unknown: skipped whole
    }
  }

  void mesh(const Chunk& chunk, int depth) {
    Object3DS& object = currentObject();
    uint16_t count = 0;
    if (chunk.id == kVertices) {
      size_t at = counted(chunk.data(), chunk.end, 12, "vertex", count);
      object.vertices.resize(count);
      for (auto& v : object.vertices) {
        // The file is Z-up; the GL is Y-up.
        v = {f32(at), f32(at + 8), -f32(at + 4)};
        at += 12;
      }
      object.vertexCount = count;
    } else if (chunk.id == kFaces) {
      size_t at = counted(chunk.data(), chunk.end, 8, "face", count);
      object.faces.assign(count, Face3DS{});
      for (Face3DS& face : object.faces) {
        face.vertex = {u16(at), u16(at + 2), u16(at + 4)};  // the flags word is ignored
        at += 8;
      }
      object.faceCount = count;
      // Sub-chunks kept inside the face list (its material) are walked too.
      children(at, chunk.end, false, depth + 1);
    } else if (chunk.id == kFaceMaterial) {
      std::string name;
      string(chunk.data(), chunk.end, name);
      // A match sets the index and, for a textured material, the flag; a
      // miss sets the index only: a second material chunk never takes away
      // a texture the first one gave.
      object.materialIndex = -1;
      for (size_t i = 0; i < model.materials.size(); ++i) {
        if (model.materials[i].name == name) {
          object.materialIndex = static_cast<int32_t>(i);
          if (!model.materials[i].textureFile.empty()) object.hasTexture = true;
          break;
        }
      }
    } else if (chunk.id == kTexCoords) {
      size_t at = counted(chunk.data(), chunk.end, 8, "texture coordinate", count);
      object.texCoords.resize(count);
      for (auto& t : object.texCoords) {
        t = {f32(at), f32(at + 4)};
        at += 8;
      }
      object.texCoordCount = count;
    }
  }

  const uint8_t* data_;
};

void checkIndices(const Model3DS& model) {
  for (const Object3DS& object : model.objects) {
    for (size_t f = 0; f < object.faces.size(); ++f) {
      for (int32_t v : object.faces[f].vertex) {
        if (v < 0 || v >= object.vertexCount) {
          throw Damaged{"face " + std::to_string(f) + " of object \"" + object.name + "\" uses vertex " +
                        std::to_string(v) + ", but the object has " + std::to_string(object.vertexCount) +
                        " vertices"};
        }
      }
    }
  }
}

using Vec = std::array<float, 3>;

Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

}  // namespace

void ComputeVertexNormals(Object3DS& object) {
  const size_t count = object.vertices.size();
  std::vector<Vec> sums(count, Vec{0, 0, 0});
  std::vector<int> uses(count, 0);
  // One pass over the faces, in order: every vertex sums its faces in the
  // same order a per-vertex search of the face list would, so the floats come
  // out the same.
  for (const Face3DS& face : object.faces) {
    const Vec& v0 = object.vertices[static_cast<size_t>(face.vertex[0])];
    const Vec& v1 = object.vertices[static_cast<size_t>(face.vertex[1])];
    const Vec& v2 = object.vertices[static_cast<size_t>(face.vertex[2])];
    const Vec n = cross(minus(v0, v2), minus(v2, v1));
    for (int corner = 0; corner < 3; ++corner) {
      const int32_t v = face.vertex[static_cast<size_t>(corner)];
      // A face that names a vertex twice still counts once for it.
      bool seen = false;
      for (int earlier = 0; earlier < corner; ++earlier) seen |= face.vertex[static_cast<size_t>(earlier)] == v;
      if (seen) continue;
      Vec& sum = sums[static_cast<size_t>(v)];
      sum = {sum[0] + n[0], sum[1] + n[1], sum[2] + n[2]};
      ++uses[static_cast<size_t>(v)];
    }
  }
  object.normals.assign(count, Vec{0, 0, 0});
  for (size_t i = 0; i < count; ++i) {
    if (uses[i] == 0) continue;
    const float divisor = -static_cast<float>(uses[i]);
    const Vec mean = {sums[i][0] / divisor, sums[i][1] / divisor, sums[i][2] / divisor};
    const float length = std::sqrt(mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2]);
    // Faces that cancel out leave no direction: keep (0, 0, 0), not NaN.
    if (length > 0) object.normals[i] = {mean[0] / length, mean[1] / length, mean[2] / length};
  }
}

ImportResult Import3DSFromMemory(Model3DS& model, const uint8_t* data, size_t size,
                                 const std::string& path) {
  ImportResult result;
  if (size < kHeader || (data[0] | (data[1] << 8)) != kMain) {
    result.messages.push_back({"Error", format("Unable to load PRIMARY chuck from file: %s!", path)});
    return result;
  }
  Parser parser(data);
  try {
    uint32_t length;
    std::memcpy(&length, data + 2, 4);
    if (length < kHeader) throw Damaged{"the main chunk claims a length of " + std::to_string(length) + " bytes"};
    if (length > size) {
      throw Damaged{"the file is truncated (" + std::to_string(size) + " of " + std::to_string(length) +
                    " bytes)"};
    }
    parser.parseMain(Chunk{kMain, 0, length});
    checkIndices(parser.model);
  } catch (const Damaged& damaged) {
    result.messages = parser.warnings;
    result.messages.push_back({"Error", "Unable to load the 3DS file " + path + ": " + damaged.reason + "."});
    return result;
  }
  for (Object3DS& object : parser.model.objects) ComputeVertexNormals(object);
  parser.model.objectCount = static_cast<int32_t>(parser.model.objects.size());
  parser.model.materialCount = static_cast<int32_t>(parser.model.materials.size());
  model = std::move(parser.model);
  result.messages = parser.warnings;
  result.ok = true;
  return result;
}

ImportResult Import3DS(Model3DS& model, const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  // A chunk length is 32 bits: no 3DS file is larger.
  if (!ReadRegularFile(path, 0xFFFFFFFFull, bytes, &reason)) {
    if (reason == std::strerror(ENOENT)) return {false, {{"Error", format("Unable to find the file: %s!", path)}}};
    return {false, {{"Error", "Unable to load the 3DS file " + path + ": " + reason + "."}}};
  }
  return Import3DSFromMemory(model, bytes.data(), bytes.size(), path);
}

std::vector<uint8_t> Write3DS(const Model3DS& model, uint32_t version) {
  std::vector<uint8_t> out;
  auto put16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto putFloat = [&](float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(v);
  };
  auto putString = [&](const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  };
  // Writes a chunk whose body `fill` produces, then its length.
  std::function<void(uint16_t, const std::function<void()>&)> chunk =
      [&](uint16_t id, const std::function<void()>& fill) {
        const size_t begin = out.size();
        put16(id);
        put32(0);
        fill();
        const uint32_t length = static_cast<uint32_t>(out.size() - begin);
        std::memcpy(out.data() + begin + 2, &length, 4);
      };

  chunk(kMain, [&] {
    chunk(kVersion, [&] { put32(version); });
    chunk(kEditor, [&] {
      chunk(kMeshVersion, [&] { put32(3); });
      for (const Material3DS& material : model.materials) {
        chunk(kMaterial, [&] {
          chunk(kMaterialName, [&] { putString(material.name); });
          chunk(kDiffuse, [&] {
            chunk(kColour24, [&] {
              for (uint8_t c : material.colour) out.push_back(c);
            });
          });
          if (!material.textureFile.empty()) {
            chunk(kTextureMap, [&] { chunk(kTextureFile, [&] { putString(material.textureFile); }); });
          }
        });
      }
      for (const Object3DS& object : model.objects) {
        chunk(kObject, [&] {
          putString(object.name);
          chunk(kMesh, [&] {
            chunk(kVertices, [&] {
              put16(static_cast<uint32_t>(object.vertices.size()));
              for (const auto& v : object.vertices) {
                for (float c : v) putFloat(c);
              }
            });
            if (!object.texCoords.empty()) {
              chunk(kTexCoords, [&] {
                put16(static_cast<uint32_t>(object.texCoords.size()));
                for (const auto& t : object.texCoords) {
                  putFloat(t[0]);
                  putFloat(t[1]);
                }
              });
            }
            chunk(kFaces, [&] {
              put16(static_cast<uint32_t>(object.faces.size()));
              for (const Face3DS& face : object.faces) {
                for (int32_t v : face.vertex) put16(static_cast<uint32_t>(v));
                put16(0);
              }
              if (object.materialIndex >= 0 &&
                  static_cast<size_t>(object.materialIndex) < model.materials.size()) {
                chunk(kFaceMaterial, [&] {
                  putString(model.materials[static_cast<size_t>(object.materialIndex)].name);
                  put16(static_cast<uint32_t>(object.faces.size()));
                  for (size_t f = 0; f < object.faces.size(); ++f) put16(static_cast<uint32_t>(f));
                });
              }
            });
          });
        });
      }
    });
  });
  return out;
}

}  // namespace kestrova
