#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>

#include "formats/model_3ds.h"
#include "tests/support/byte_writer.h"

using namespace kestrova;

namespace {

// Chunks by hand, for files the writer would never make.
struct Bytes : test::ByteWriter {
  void str(const std::string& s) {
    data.insert(data.end(), s.begin(), s.end());
    data.push_back(0);
  }
  // A chunk with the true length, unless `length` says otherwise.
  void chunk(uint16_t id, const std::function<void()>& body, int64_t length = -1) {
    const size_t begin = data.size();
    u16(id);
    u32(0);
    body();
    set32(begin + 2, length < 0 ? static_cast<uint32_t>(data.size() - begin) : static_cast<uint32_t>(length));
  }
};

Object3DS triangleObject(const std::string& name, int materialIndex) {
  Object3DS object;
  object.name = name;
  object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  object.texCoords = {{0, 0}, {1, 0}, {0, 1}};
  Face3DS face;
  face.vertex = {0, 1, 2};
  object.faces = {face};
  object.materialIndex = materialIndex;
  return object;
}

Material3DS material(const std::string& name, const std::string& texture) {
  Material3DS m;
  m.name = name;
  m.textureFile = texture;
  m.colour = {10, 20, 30};
  return m;
}

ReadAt readFrom(const std::vector<uint8_t>& bytes, size_t* largest = nullptr) {
  return [&bytes, largest](uint64_t offset, uint8_t* out, size_t n) -> size_t {
    if (largest) *largest = std::max(*largest, n);
    if (offset >= bytes.size()) return 0;
    const size_t got = std::min<size_t>(n, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, got);
    return got;
  };
}

void expectSameModel(const Model3DS& a, const Model3DS& b) {
  ASSERT_EQ(a.objects.size(), b.objects.size());
  ASSERT_EQ(a.materials.size(), b.materials.size());
  EXPECT_EQ(a.objectCount, b.objectCount);
  EXPECT_EQ(a.materialCount, b.materialCount);
  for (size_t i = 0; i < a.materials.size(); ++i) {
    EXPECT_EQ(a.materials[i].name, b.materials[i].name);
    EXPECT_EQ(a.materials[i].textureFile, b.materials[i].textureFile);
    EXPECT_EQ(a.materials[i].colour, b.materials[i].colour);
  }
  for (size_t i = 0; i < a.objects.size(); ++i) {
    const Object3DS& x = a.objects[i];
    const Object3DS& y = b.objects[i];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(std::tie(x.vertexCount, x.faceCount, x.texCoordCount, x.materialIndex, x.hasTexture),
              std::tie(y.vertexCount, y.faceCount, y.texCoordCount, y.materialIndex, y.hasTexture));
    EXPECT_EQ(x.vertices, y.vertices);
    EXPECT_EQ(x.texCoords, y.texCoords);
    EXPECT_EQ(0, std::memcmp(x.normals.data(), y.normals.data(), x.normals.size() * sizeof x.normals[0]));
    ASSERT_EQ(x.faces.size(), y.faces.size());
    for (size_t f = 0; f < x.faces.size(); ++f) EXPECT_EQ(x.faces[f].vertex, y.faces[f].vertex);
  }
}

// Every file these tests parse is also read a piece at a time, through
// windows smaller than any chunk and larger than the file: the walk must give
// the same model and the same messages either way.
ImportResult parse(Model3DS& model, const std::vector<uint8_t>& bytes) {
  const ImportResult result = Import3DSFromMemory(model, bytes.data(), bytes.size(), "test.3ds");
  for (size_t window : {size_t{1}, size_t{13}, size_t{128} << 10}) {
    Model3DS streamed;
    const ImportResult again = Import3DSStreamed(streamed, bytes.size(), readFrom(bytes), "test.3ds", window);
    EXPECT_EQ(again.ok, result.ok) << "window " << window;
    EXPECT_EQ(again.messages.size(), result.messages.size());
    for (size_t i = 0; i < std::min(again.messages.size(), result.messages.size()); ++i) {
      EXPECT_EQ(again.messages[i].text, result.messages[i].text) << "window " << window;
    }
    if (result.ok) expectSameModel(streamed, model);
  }
  return result;
}

// A main chunk holding an editor block (mesh version first) with `body`.
std::vector<uint8_t> editorFile(const std::function<void(Bytes&)>& body) {
  Bytes b;
  b.chunk(0x4D4D, [&] {
    b.chunk(0x3D3D, [&] {
      b.chunk(0x3D3E, [&] { b.u32(3); });
      body(b);
    });
  });
  return b.data;
}

void objectWithMesh(Bytes& b, const std::function<void()>& mesh) {
  b.chunk(0x4000, [&] {
    b.str("obj");
    b.chunk(0x4100, mesh);
  });
}

void vertices(Bytes& b, std::initializer_list<std::array<float, 3>> list) {
  b.chunk(0x4110, [&] {
    b.u16(static_cast<uint32_t>(list.size()));
    for (const auto& v : list) {
      for (float c : v) b.f32(c);
    }
  });
}

}  // namespace

TEST(Import3DS, WriterOutputLoadsBackFieldForField) {
  Model3DS source;
  source.materials = {material("Paper", "page.jpg"), material("Plain", "")};
  source.objects = {triangleObject("First", 0), triangleObject("Second", 1)};
  source.objects[1].vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
  Model3DS model;
  const ImportResult result = parse(model, Write3DS(source));
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.messages.empty());
  ASSERT_EQ(model.materialCount, 2);
  ASSERT_EQ(model.objectCount, 2);
  EXPECT_EQ(model.materials[0].name, "Paper");
  EXPECT_EQ(model.materials[0].textureFile, "page.jpg");
  EXPECT_EQ(model.materials[1].colour, (std::array<uint8_t, 3>{10, 20, 30}));
  const Object3DS& second = model.objects[1];
  EXPECT_EQ(second.name, "Second");
  EXPECT_EQ(second.vertexCount, 3);
  EXPECT_EQ(second.faceCount, 1);
  EXPECT_EQ(second.texCoordCount, 3);
  EXPECT_EQ(second.materialIndex, 1);
  EXPECT_FALSE(second.hasTexture) << "a material without a map gives no texture";
  EXPECT_TRUE(model.objects[0].hasTexture);
  // (x, y, z) in the file is (x, z, -y) here.
  EXPECT_EQ(second.vertices[0], (std::array<float, 3>{1, 3, -2}));
  EXPECT_EQ(second.vertices[2], (std::array<float, 3>{7, 10, -8}));
  EXPECT_EQ(second.texCoords[1], (std::array<float, 2>{1, 0}));
  EXPECT_EQ(second.faces[0].vertex, (std::array<uint16_t, 3>{0, 1, 2}));
}

TEST(Import3DS, MaterialsWithoutObjects) {
  Model3DS source;
  source.materials = {material("A", "a.jpg"), material("B", "")};
  Model3DS model;
  ASSERT_TRUE(parse(model, Write3DS(source)).ok);
  EXPECT_EQ(model.objectCount, 0);
  EXPECT_EQ(model.materialCount, 2);
}

TEST(Import3DS, UnmatchedFaceMaterialGivesNoMaterialAndNoTexture) {
  const auto bytes = editorFile([](Bytes& b) {
    b.chunk(0xAFFF, [&] {
      b.chunk(0xA000, [&] { b.str("Known"); });
      b.chunk(0xA200, [&] { b.chunk(0xA300, [&] { b.str("k.jpg"); }); });
    });
    objectWithMesh(b, [&] {
      vertices(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
      b.chunk(0x4130, [&] { b.str("Unknown"); });
    });
  });
  Model3DS model;
  ASSERT_TRUE(parse(model, bytes).ok);
  EXPECT_EQ(model.objects[0].materialIndex, -1);
  EXPECT_FALSE(model.objects[0].hasTexture);
}

TEST(Import3DS, FaceMaterialNestedInTheFaceListIsFound) {
  const auto bytes = editorFile([](Bytes& b) {
    b.chunk(0xAFFF, [&] {
      b.chunk(0xA000, [&] { b.str("Skip"); });
    });
    b.chunk(0xAFFF, [&] {
      b.chunk(0xA000, [&] { b.str("Wood"); });
      b.chunk(0xA020, [&] { b.chunk(0x0010, [&] { b.f32(0.5f); b.f32(0.25f); b.f32(1.0f); }); });
      b.chunk(0xA200, [&] { b.chunk(0xA300, [&] { b.str("wood.jpg"); }); });
    });
    objectWithMesh(b, [&] {
      vertices(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
      b.chunk(0x4120, [&] {
        b.u16(1);
        for (int v : {0, 1, 2, 7}) b.u16(static_cast<uint32_t>(v));
        b.chunk(0x4130, [&] { b.str("Wood"); b.u16(1); b.u16(0); });
      });
    });
  });
  Model3DS model;
  ASSERT_TRUE(parse(model, bytes).ok);
  EXPECT_EQ(model.objects[0].materialIndex, 1);
  EXPECT_TRUE(model.objects[0].hasTexture);
  EXPECT_EQ(model.objects[0].faceCount, 1);
  // A float colour fills the three bytes with its first three bytes.
  float half = 0.5f;
  uint8_t expected[4];
  std::memcpy(expected, &half, 4);
  EXPECT_EQ(model.materials[1].colour[0], expected[0]);
  EXPECT_EQ(model.materials[1].colour[2], expected[2]);
}

TEST(Import3DS, EditorBlocksFirstChildIsSkippedWhatever_it_is) {
  Bytes b;
  b.chunk(0x4D4D, [&] {
    b.chunk(0x3D3D, [&] {
      b.chunk(0xAFFF, [&] { b.chunk(0xA000, [&] { b.str("Hidden"); }); });
      b.chunk(0xAFFF, [&] { b.chunk(0xA000, [&] { b.str("Seen"); }); });
    });
  });
  Model3DS model;
  ASSERT_TRUE(parse(model, b.data).ok);
  ASSERT_EQ(model.materialCount, 1);
  EXPECT_EQ(model.materials[0].name, "Seen");
}

TEST(Import3DS, VersionFourWarnsAndLoads) {
  Model3DS source;
  source.objects = {triangleObject("T", -1)};
  Model3DS model;
  const ImportResult result = parse(model, Write3DS(source, 4));
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].caption, "Warning");
  EXPECT_EQ(result.messages[0].text, "This 3DS file is over version 3 so it may load incorrectly");
  EXPECT_EQ(model.objectCount, 1);
}

TEST(Import3DS, MissingFileAndWrongMagicSayWhichFile) {
  Model3DS model;
  ImportResult missing = Import3DS(model, "/nonexistent/model.3ds");
  EXPECT_FALSE(missing.ok);
  ASSERT_EQ(missing.messages.size(), 1u);
  EXPECT_EQ(missing.messages[0].caption, "Error");
  EXPECT_EQ(missing.messages[0].text, "Unable to find the file: /nonexistent/model.3ds!");
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
  ImportResult wrong = parse(model, png);
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.messages[0].text, "Unable to load PRIMARY chuck from file: test.3ds!");
}

TEST(VertexNormals, SingleTrianglePointsUp) {
  Object3DS object = triangleObject("T", -1);
  ComputeVertexNormals(object);
  for (const auto& n : object.normals) EXPECT_EQ(n, (std::array<float, 3>{0, 0, 1}));
}

TEST(VertexNormals, UnusedVertexGetsZeroAndCancellingFacesGiveNoNaN) {
  Object3DS object = triangleObject("T", -1);
  object.vertices.push_back({5, 5, 5});
  Face3DS back;
  back.vertex = {0, 2, 1};  // the same triangle turned over
  object.faces.push_back(back);
  ComputeVertexNormals(object);
  EXPECT_EQ(object.normals[3], (std::array<float, 3>{0, 0, 0}));
  EXPECT_EQ(object.normals[0], (std::array<float, 3>{0, 0, 0}));
}

TEST(VertexNormals, OnePassMatchesTheVertexByVertexSumsBitForBit) {
  Object3DS object;
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 16777216.0f * 10.0f - 5.0f;
  };
  // 61: the normals are finished four at a time, and the last one alone.
  for (int i = 0; i < 61; ++i) object.vertices.push_back({next(), next(), next()});
  for (int f = 0; f < 200; ++f) {
    Face3DS face;
    for (auto& v : face.vertex) v = static_cast<uint16_t>(static_cast<uint32_t>(next() * 1000 + 5000) % 61);
    object.faces.push_back(face);
  }
  ComputeVertexNormals(object);
  // The naive order: every vertex searches every face.
  for (size_t i = 0; i < object.vertices.size(); ++i) {
    std::array<float, 3> sum{0, 0, 0};
    int count = 0;
    for (const Face3DS& face : object.faces) {
      if (face.vertex[0] != static_cast<int32_t>(i) && face.vertex[1] != static_cast<int32_t>(i) &&
          face.vertex[2] != static_cast<int32_t>(i)) {
        continue;
      }
      const auto& v0 = object.vertices[static_cast<size_t>(face.vertex[0])];
      const auto& v1 = object.vertices[static_cast<size_t>(face.vertex[1])];
      const auto& v2 = object.vertices[static_cast<size_t>(face.vertex[2])];
      const std::array<float, 3> a{v0[0] - v2[0], v0[1] - v2[1], v0[2] - v2[2]};
      const std::array<float, 3> b{v2[0] - v1[0], v2[1] - v1[1], v2[2] - v1[2]};
      const std::array<float, 3> n{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
      sum = {sum[0] + n[0], sum[1] + n[1], sum[2] + n[2]};
      ++count;
    }
    if (count == 0) continue;
    const float d = -static_cast<float>(count);
    const std::array<float, 3> m{sum[0] / d, sum[1] / d, sum[2] / d};
    const float len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    if (len == 0) continue;
    const std::array<float, 3> expected{m[0] / len, m[1] / len, m[2] / len};
    EXPECT_EQ(std::memcmp(object.normals[i].data(), expected.data(), sizeof expected), 0) << i;
  }
}

// --- Damaged files: refused with a message, the model left as it was ----------

namespace {

void expectRefused(const std::vector<uint8_t>& bytes, const std::string& says) {
  Model3DS model;
  model.objects.push_back(triangleObject("Before", -1));
  model.objectCount = 1;
  const ImportResult result = parse(model, bytes);
  EXPECT_FALSE(result.ok);
  ASSERT_FALSE(result.messages.empty());
  EXPECT_EQ(result.messages.back().caption, "Error");
  EXPECT_NE(result.messages.back().text.find(says), std::string::npos) << result.messages.back().text;
  EXPECT_NE(result.messages.back().text.find("test.3ds"), std::string::npos);
  ASSERT_EQ(model.objectCount, 1);
  EXPECT_EQ(model.objects[0].name, "Before");
}

}  // namespace

TEST(Damaged3DS, ChunkShorterThanItsHeader) {
  Bytes b;
  b.chunk(0x4D4D, [&] { b.chunk(0x3D3D, [&] { b.u32(0); }, 2); });
  expectRefused(b.data, "claims a length of 2");
  Bytes zero;
  zero.chunk(0x4D4D, [&] { zero.chunk(0x1234, [&] {}, 0); });
  expectRefused(zero.data, "claims a length of 0");
}

TEST(Damaged3DS, ChunkRunningPastItsParent) {
  const auto bytes = editorFile([](Bytes& b) {
    b.chunk(0xAFFF, [&] { b.chunk(0xA000, [&] { b.str("M"); }, 500); });
  });
  expectRefused(bytes, "runs past the end of its parent");
}

TEST(Damaged3DS, CountsRunningPastTheirChunk) {
  const auto many = editorFile([](Bytes& b) {
    objectWithMesh(b, [&] {
      b.chunk(0x4110, [&] {
        b.u16(1000);
        b.f32(1);
      });
    });
  });
  expectRefused(many, "fewer entries than its count of 1000");
  const auto faces = editorFile([](Bytes& b) {
    objectWithMesh(b, [&] {
      vertices(b, {{0, 0, 0}});
      b.chunk(0x4120, [&] { b.u16(65535); });
    });
  });
  expectRefused(faces, "count of 65535");
}

TEST(Damaged3DS, FaceIndexPastTheVertices) {
  const auto bytes = editorFile([](Bytes& b) {
    objectWithMesh(b, [&] {
      vertices(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
      b.chunk(0x4120, [&] {
        b.u16(1);
        for (int v : {0, 1, 3, 0}) b.u16(static_cast<uint32_t>(v));
      });
    });
  });
  expectRefused(bytes, "uses vertex 3, but the object has 3 vertices");
}

TEST(Damaged3DS, AbsurdNesting) {
  Bytes b;
  std::function<void(int)> nest = [&](int depth) {
    b.chunk(0xA200, [&] {
      if (depth > 0) nest(depth - 1);
    });
  };
  b.chunk(0x4D4D, [&] {
    b.chunk(0x3D3D, [&] {
      b.chunk(0x3D3E, [&] {});
      b.chunk(0xAFFF, [&] { nest(200); });
    });
  });
  expectRefused(b.data, "nested too deeply");
}

TEST(Damaged3DS, TruncatedAnywhere) {
  Model3DS source;
  source.materials = {material("Paper", "page.jpg")};
  source.objects = {triangleObject("First", 0)};
  const std::vector<uint8_t> whole = Write3DS(source);
  for (size_t cut = 6; cut < whole.size(); ++cut) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
    Model3DS model;
    const ImportResult result = parse(model, part);
    EXPECT_FALSE(result.ok) << "cut at " << cut;
    EXPECT_EQ(model.objectCount, 0);
  }
}

TEST(Damaged3DS, NameWithoutTerminator) {
  Bytes b;
  b.chunk(0x4D4D, [&] {
    b.chunk(0x3D3D, [&] {
      b.chunk(0x3D3E, [&] {});
      b.chunk(0x4000, [&] { b.u16(0x4141); });
    });
  });
  expectRefused(b.data, "has no end");
}

TEST(Damaged3DS, ShortTextureCoordinateListIsKeptForDrawingToClip) {
  const auto bytes = editorFile([](Bytes& b) {
    objectWithMesh(b, [&] {
      vertices(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
      b.chunk(0x4140, [&] {
        b.u16(1);
        b.f32(0.5f);
        b.f32(0.5f);
      });
      b.chunk(0x4120, [&] {
        b.u16(1);
        for (int v : {0, 1, 2, 0}) b.u16(static_cast<uint32_t>(v));
      });
    });
  });
  Model3DS model;
  ASSERT_TRUE(parse(model, bytes).ok);
  EXPECT_EQ(model.objects[0].texCoordCount, 1);
  EXPECT_EQ(model.objects[0].vertexCount, 3);
}

TEST(Damaged3DS, MillionsOfEmptyObjectsCostNothing) {
  // 100 000 objects of 7 bytes each: a chunk header and an empty name.
  const std::vector<uint8_t> bytes = editorFile([](Bytes& b) {
    for (int i = 0; i < 100000; ++i) b.chunk(0x4000, [&] { b.str(""); });
    objectWithMesh(b, [&] { vertices(b, {{1, 2, 3}}); });
  });
  Model3DS model;
  const ImportResult result = parse(model, bytes);
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(model.objects.size(), 1u) << "only the object with something to draw";
  EXPECT_EQ(model.objects[0].vertexCount, 1);
  EXPECT_LE(model.objects.capacity(), 16u) << "no room kept for the empty ones";
}

TEST(Import3DS, ChunksAreHandledWhereverTheWalkMeetsThemAndASecondMaterialKeepsTheTexture) {
  const auto bytes = editorFile([](Bytes& b) {
    b.chunk(0xAFFF, [&] {
      b.chunk(0xA000, [&] { b.str("Wood"); });
      b.chunk(0xA200, [&] { b.chunk(0xA300, [&] { b.str("wood.jpg"); }); });
    });
    b.chunk(0xAFFF, [&] { b.chunk(0xA000, [&] { b.str("Plain"); }); });
    b.chunk(0x4000, [&] {
      b.str("box");
      b.chunk(0x4100, [&] {
        vertices(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        b.chunk(0x4120, [&] {
          b.u16(1);
          for (int v : {0, 1, 2, 0}) b.u16(static_cast<uint32_t>(v));
          b.chunk(0x4130, [&] { b.str("Wood"); });
        });
      });
      // A second face material, outside the mesh: met and handled there.
      b.chunk(0x4130, [&] { b.str("Plain"); });
    });
  });
  Model3DS model;
  ASSERT_TRUE(parse(model, bytes).ok);
  ASSERT_EQ(model.objects.size(), 1u);
  EXPECT_EQ(model.objects[0].materialIndex, 1) << "the last material chunk names the material";
  EXPECT_TRUE(model.objects[0].hasTexture) << "the first chunk's texture is not taken away";
}

TEST(Import3DSStreamed, AFileShortenedWhileReadIsTruncatedNotOverread) {
  Model3DS source;
  source.materials = {material("Paper", "page.jpg")};
  source.objects = {triangleObject("First", 0), triangleObject("Second", 0)};
  const std::vector<uint8_t> whole = Write3DS(source);
  // The size said at the start is the whole file; the bytes stop at 100.
  const std::vector<uint8_t> shorter(whole.begin(), whole.begin() + 100);
  Model3DS model = source;
  const ImportResult result = Import3DSStreamed(model, whole.size(), readFrom(shorter), "test.3ds", 16);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.messages.back().text, "Unable to load the 3DS file test.3ds: the file is truncated (100 of " +
                                             std::to_string(whole.size()) + " bytes).");
  EXPECT_EQ(model.objects.size(), 2u) << "the model is left as it was";
}

TEST(Import3DSStreamed, HoldsAWindowNotTheFile) {
  Model3DS source;
  source.materials = {material("Paper", "page.jpg")};
  for (int i = 0; i < 2000; ++i) source.objects.push_back(triangleObject("Object" + std::to_string(i), 0));
  // One object with a long vertex list: the window grows to hold it whole.
  Object3DS big = triangleObject("Big", 0);
  big.vertices.resize(3000, {1, 2, 3});
  source.objects.push_back(big);
  const std::vector<uint8_t> whole = Write3DS(source);
  size_t largest = 0;
  Model3DS model;
  ASSERT_TRUE(Import3DSStreamed(model, whole.size(), readFrom(whole, &largest), "test.3ds", 256).ok);
  EXPECT_EQ(model.objects.size(), 2001u);
  EXPECT_EQ(model.objects.back().vertexCount, 3000);
  EXPECT_LE(largest, 3000u * 12 + 256) << "no read larger than the window and the longest list";
  EXPECT_GT(whole.size(), 5 * largest);
}

TEST(Import3DS, AFileOnDiskLoadsAsTheSameBytesInMemory) {
  Model3DS source;
  source.materials = {material("Paper", "page.jpg"), material("Plain", "")};
  source.objects = {triangleObject("First", 0), triangleObject("Second", 1)};
  const std::vector<uint8_t> bytes = Write3DS(source);
  const std::string path = ::testing::TempDir() + "/kestrova-same-bytes.3ds";
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  Model3DS fromDisk, fromMemory;
  ASSERT_TRUE(Import3DS(fromDisk, path).ok);
  ASSERT_TRUE(parse(fromMemory, bytes).ok);
  expectSameModel(fromDisk, fromMemory);
  std::remove(path.c_str());
}
