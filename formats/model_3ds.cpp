#include "model_3ds.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>

#include <unistd.h>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "file_read.h"

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


// An iterator over make(0), make(1), ...: what fill() builds a vector from.
template <typename T, typename Make>
struct Made {
  using iterator_category = std::forward_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = T;
  size_t i;
  Make* make;
  T operator*() const { return (*make)(i); }
  Made& operator++() {
    ++i;
    return *this;
  }
  Made operator++(int) {
    Made was = *this;
    ++i;
    return was;
  }
  bool operator==(const Made& other) const { return i == other.i; }
  bool operator!=(const Made& other) const { return i != other.i; }
};

// Fills `out` with make(0) ... make(count - 1) in one pass: resize would
// write zeros first, a second pass over memory that is new to the process.
template <typename T, typename Make>
void fill(std::vector<T>& out, size_t count, Make make) {
  out.clear();
  out.assign(Made<T, Make>{0, &make}, Made<T, Make>{count, &make});
}

// A failed parse: the reason, shown to the user.
struct Damaged {
  std::string reason;
};

// The file's bytes as the walk asks for them. The walk only moves forward,
// so a file is read through a window that slides along it: memory holds the
// model, not the model and the file, and no byte is copied twice.
class Source {
 public:
  Source(const uint8_t* data, size_t size) : base_(data), end_(size) {}
  Source(const ReadAt& read, size_t window) : read_(&read), window_(window) {}

  // [at, at + n), which the caller has checked lies inside the file.
  const uint8_t* bytes(size_t at, size_t n) {
    if (at >= begin_ && at <= end_ && n <= end_ - at) return base_ + (at - begin_);
    return refill(at, n);
  }

  // How far the file claims to go; a file that ends before this while it is
  // read was shortened under the reader.
  size_t claimed = 0;

 private:
  const uint8_t* refill(size_t at, size_t n) {
    if (!read_) throw Damaged{"the file is truncated (" + std::to_string(end_) + " of " + std::to_string(claimed) + " bytes)"};
    const size_t capacity = std::max(n, window_);
    size_t keep = at >= begin_ && at < end_ ? end_ - at : 0;
    if (capacity > capacity_) {
      std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);  // left unset: read() fills it
      if (keep) std::memcpy(bigger.get(), base_ + (at - begin_), keep);
      buffer_ = std::move(bigger);
      capacity_ = capacity;
    } else if (keep) {
      std::memmove(buffer_.get(), base_ + (at - begin_), keep);
    }
    base_ = buffer_.get();
    begin_ = at;
    end_ = at + keep;
    // Fill the window, but never read past what the file claims.
    const size_t want = std::min(capacity_, std::max(n, claimed > at ? claimed - at : 0));
    while (end_ - begin_ < want) {
      const size_t got = (*read_)(end_, buffer_.get() + (end_ - begin_), want - (end_ - begin_));
      if (got == 0) break;
      end_ += got;
    }
    if (end_ - begin_ < n) {
      throw Damaged{"the file is truncated (" + std::to_string(end_) + " of " + std::to_string(claimed) + " bytes)"};
    }
    return base_;
  }

  const uint8_t* base_ = nullptr;  // holds the file's bytes [begin_, end_)
  size_t begin_ = 0;
  size_t end_ = 0;
  const ReadAt* read_ = nullptr;
  size_t window_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
};

class Parser {
 public:
  explicit Parser(Source& source) : source_(source) {}

  void parseMain(Chunk main) {
    children(main.data(), main.end, false, 1);
  }

  Model3DS model;
  std::vector<int32_t> highestIndex;  // per object: the largest vertex its faces use, -1 for none
  std::vector<LoaderMessage> warnings;
  uint32_t fileVersion = 0;

 private:
  static uint16_t u16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  static uint32_t u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  static float f32(const uint8_t* p) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
  }
  uint16_t u16(size_t at) { return u16(source_.bytes(at, 2)); }
  uint32_t u32(size_t at) { return u32(source_.bytes(at, 4)); }

  // Reads the header at `at`, which must lie whole inside [at, parentEnd).
  Chunk header(size_t at, size_t parentEnd) {
    if (parentEnd - at < kHeader) {
      throw Damaged{"a chunk header at byte " + std::to_string(at) + " runs past its parent"};
    }
    const uint8_t* bytes = source_.bytes(at, kHeader);
    Chunk chunk;
    chunk.id = u16(bytes);
    chunk.begin = at;
    const uint32_t length = u32(bytes + 2);
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
  size_t string(size_t at, size_t end, std::string& out) {
    out.clear();
    // Looked for a piece at a time: a name with no end may run on for
    // megabytes, and the window need not hold them all.
    for (size_t from = at; from < end;) {
      const size_t piece = std::min<size_t>(end - from, 4096);
      const uint8_t* bytes = source_.bytes(from, piece);
      const void* zero = std::memchr(bytes, 0, piece);
      const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : piece;
      // Names are kept to the 254 characters a record holds.
      if (out.size() < 254) out.append(reinterpret_cast<const char*>(bytes), std::min(length, 254 - out.size()));
      if (zero) return from + length + 1;
      from += piece;
    }
    throw Damaged{"a name at byte " + std::to_string(at) + " has no end"};
  }

  // A 16-bit count followed by count records of `recordSize` bytes.
  size_t counted(size_t at, size_t end, size_t recordSize, const char* what, uint16_t& count) {
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
        if (bytes) std::memcpy(material.colour.data(), source_.bytes(colour.data(), bytes), bytes);
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
        highestIndex.push_back(-1);
        const size_t after = string(chunk.data(), chunk.end, model.objects.back().name);
        children(after, chunk.end, false, depth + 1);
        // An object with neither vertices nor faces draws nothing; kept, a
        // file of millions of 7-byte empty objects would take gigabytes.
        if (model.objects.back().vertices.empty() && model.objects.back().faces.empty()) {
          model.objects.pop_back();
          highestIndex.pop_back();
        }
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
      const size_t at = counted(chunk.data(), chunk.end, 12, "vertex", count);
      const uint8_t* p = source_.bytes(at, size_t{count} * 12);
      // The file is Z-up; the GL is Y-up.
      fill(object.vertices, count, [p](size_t i) {
        const uint8_t* v = p + i * 12;
        return std::array<float, 3>{f32(v), f32(v + 8), -f32(v + 4)};
      });
      object.vertexCount = count;
    } else if (chunk.id == kFaces) {
      size_t at = counted(chunk.data(), chunk.end, 8, "face", count);
      const uint8_t* p = source_.bytes(at, size_t{count} * 8);
      uint16_t highest = 0;
      fill(object.faces, count, [p, &highest](size_t i) {
        const uint8_t* f = p + i * 8;
        const uint16_t a = u16(f), b = u16(f + 2), c = u16(f + 4);  // the flags word is ignored
        highest = std::max(highest, std::max(a, std::max(b, c)));
        return Face3DS{{a, b, c}};
      });
      highestIndex.back() = count ? highest : -1;
      at += size_t{count} * 8;
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
      const size_t at = counted(chunk.data(), chunk.end, 8, "texture coordinate", count);
      const uint8_t* p = source_.bytes(at, size_t{count} * 8);
      // Two floats each, as stored: copied as they stand, in one pass.
      static_assert(sizeof(std::array<float, 2>) == 8);
      const auto* first = reinterpret_cast<const std::array<float, 2>*>(p);
      object.texCoords.assign(first, first + count);
      object.texCoordCount = count;
    }
  }

  Source& source_;
};

void checkIndices(const Model3DS& model, const std::vector<int32_t>& highestIndex) {
  for (size_t o = 0; o < model.objects.size(); ++o) {
    const Object3DS& object = model.objects[o];
    if (highestIndex[o] < object.vertexCount) continue;
    for (size_t f = 0; f < object.faces.size(); ++f) {
      for (uint16_t v : object.faces[f].vertex) {
        if (v >= object.vertexCount) {
          throw Damaged{"face " + std::to_string(f) + " of object \"" + object.name + "\" uses vertex " +
                        std::to_string(v) + ", but the object has " + std::to_string(object.vertexCount) +
                        " vertices"};
        }
      }
    }
  }
}

// Walks a file of `size` bytes whose first bytes are `head`.
ImportResult parse(Model3DS& model, Source& source, size_t size, const std::string& path) {
  ImportResult result;
  const uint8_t* head = size >= kHeader ? source.bytes(0, kHeader) : nullptr;
  if (!head || (head[0] | (head[1] << 8)) != kMain) {
    result.messages.push_back({"Error", format("Unable to load PRIMARY chuck from file: %s!", path)});
    return result;
  }
  Parser parser(source);
  try {
    uint32_t length;
    std::memcpy(&length, head + 2, 4);
    if (length < kHeader) throw Damaged{"the main chunk claims a length of " + std::to_string(length) + " bytes"};
    if (length > size) {
      throw Damaged{"the file is truncated (" + std::to_string(size) + " of " + std::to_string(length) +
                    " bytes)"};
    }
    source.claimed = length;
    parser.parseMain(Chunk{kMain, 0, length});
    checkIndices(parser.model, parser.highestIndex);
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

using Vec = std::array<float, 3>;

}  // namespace

void ComputeVertexNormals(Object3DS& object) {
  const size_t count = object.vertices.size();
  const Vec* vertices = object.vertices.data();
  // The sums are kept one array per axis, so the second pass below can take
  // four vertices at a time.
  const size_t padded = (count + 3) / 4 * 4;
  std::vector<float> sumX(padded, 0.0f), sumY(padded, 0.0f), sumZ(padded, 0.0f), uses(padded, 0.0f);
  // One pass over the faces, in order: every vertex sums its faces in the
  // same order a per-vertex search of the face list would, so the floats come
  // out the same.
  for (const Face3DS& face : object.faces) {
    const uint16_t i0 = face.vertex[0], i1 = face.vertex[1], i2 = face.vertex[2];
    const Vec& v0 = vertices[i0];
    const Vec& v1 = vertices[i1];
    const Vec& v2 = vertices[i2];
    const float a0 = v0[0] - v2[0], a1 = v0[1] - v2[1], a2 = v0[2] - v2[2];
    const float b0 = v2[0] - v1[0], b1 = v2[1] - v1[1], b2 = v2[2] - v1[2];
    const float n0 = a1 * b2 - a2 * b1, n1 = a2 * b0 - a0 * b2, n2 = a0 * b1 - a1 * b0;
    auto add = [&](uint16_t v) {
      sumX[v] += n0;
      sumY[v] += n1;
      sumZ[v] += n2;
      uses[v] += 1.0f;  // exact: a vertex has at most 65535 faces
    };
    // A face that names a vertex twice still counts once for it.
    add(i0);
    if (i1 != i0) add(i1);
    if (i2 != i0 && i2 != i1) add(i2);
  }

  // Four vertices at a time: the divisions are most of the work, and vector
  // division and square root round each lane exactly as scalar ones do.
  using Four = float __attribute__((vector_size(16)));
  using FourMasks = int32_t __attribute__((vector_size(16)));
  for (size_t i = 0; i < padded; i += 4) {
    Four x, y, z, divisor;
    std::memcpy(&x, &sumX[i], sizeof x);
    std::memcpy(&y, &sumY[i], sizeof y);
    std::memcpy(&z, &sumZ[i], sizeof z);
    std::memcpy(&divisor, &uses[i], sizeof divisor);
    divisor = -divisor;
    // A vertex no face uses has 0 / -0 here, a NaN that the test below drops.
    x /= divisor;
    y /= divisor;
    z /= divisor;
    const Four squares = x * x + y * y + z * z;
#if defined(__SSE__)
    const Four length = _mm_sqrt_ps(squares);
#else
    Four length;
    for (int lane = 0; lane < 4; ++lane) length[lane] = std::sqrt(squares[lane]);
#endif
    // Faces that cancel out leave no direction: keep (0, 0, 0), not NaN.
    const FourMasks keep = length > Four{0, 0, 0, 0};
    x /= length;
    y /= length;
    z /= length;
    auto kept = [&keep](const Four& v) {
      FourMasks bits;
      std::memcpy(&bits, &v, sizeof bits);
      bits &= keep;
      Four out;
      std::memcpy(&out, &bits, sizeof out);
      return out;
    };
    x = kept(x);
    y = kept(y);
    z = kept(z);
    // The normals go back where their sums were, and out in one pass below.
    std::memcpy(&sumX[i], &x, sizeof x);
    std::memcpy(&sumY[i], &y, sizeof y);
    std::memcpy(&sumZ[i], &z, sizeof z);
  }
  fill(object.normals, count, [&](size_t i) { return Vec{sumX[i], sumY[i], sumZ[i]}; });
}

ImportResult Import3DSFromMemory(Model3DS& model, const uint8_t* data, size_t size,
                                 const std::string& path) {
  Source source(data, size);
  return parse(model, source, size, path);
}

ImportResult Import3DSStreamed(Model3DS& model, uint64_t size, const ReadAt& read, const std::string& path,
                               size_t window) {
  Source source(read, std::max<size_t>(window, 1));
  return parse(model, source, static_cast<size_t>(size), path);
}

ImportResult Import3DS(Model3DS& model, const std::string& path) {
  std::string reason;
  // A chunk length is 32 bits: no 3DS file is larger.
  RegularFile file;
  if (!file.open(path, 0xFFFFFFFFull, &reason)) {
    if (reason == std::strerror(ENOENT)) return {false, {{"Error", format("Unable to find the file: %s!", path)}}};
    return {false, {{"Error", "Unable to load the 3DS file " + path + ": " + reason + "."}}};
  }
  const ReadAt read = [&file](uint64_t offset, uint8_t* out, size_t n) -> size_t {
    for (;;) {
      const ssize_t got = ::pread(file.descriptor(), out, n, static_cast<off_t>(offset));
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      return got > 0 ? static_cast<size_t>(got) : 0;  // an error ends the file where it stands
    }
  };
  return Import3DSStreamed(model, file.size(), read, path);
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
                for (uint16_t v : face.vertex) put16(v);
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
