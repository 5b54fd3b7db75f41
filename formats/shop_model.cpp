#include "shop_model.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>

#include "formats/json_writer.h"

namespace kestrova {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void padTo4(std::vector<uint8_t>& out, uint8_t with) {
  while (out.size() % 4 != 0) out.push_back(with);
}

// Numbers as JSON takes them: shortest round trip, never "nan" or "inf".
std::string number(double v) {
  if (!std::isfinite(v)) v = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

// What a model's JSON holds in place of a number gone wrong.
double finite(double v) { return std::isfinite(v) ? v : 0; }


}  // namespace

ModelBounds BoundsOf(const ShopModel& model) {
  ModelBounds bounds;
  if (model.vertices.empty()) return bounds;
  for (int a = 0; a < 3; ++a) {
    bounds.min[a] = std::numeric_limits<float>::max();
    bounds.max[a] = std::numeric_limits<float>::lowest();
  }
  for (const ModelVertex& v : model.vertices) {
    for (int a = 0; a < 3; ++a) {
      bounds.min[a] = std::min(bounds.min[a], v.position[a]);
      bounds.max[a] = std::max(bounds.max[a], v.position[a]);
    }
  }
  return bounds;
}

std::vector<uint8_t> WriteGlb(const ShopModel& model) {
  // The buffer: positions, normals, texture coordinates, indices, picture,
  // each view starting on four bytes.
  std::vector<uint8_t> bin;
  std::vector<float> positions, normals, uvs;
  for (const ModelVertex& v : model.vertices) {
    positions.insert(positions.end(), v.position, v.position + 3);
    normals.insert(normals.end(), v.normal, v.normal + 3);
    uvs.insert(uvs.end(), v.uv, v.uv + 2);
  }
  struct View {
    size_t offset, length;
    int target;  // 0 for none
  };
  std::vector<View> views;
  auto addView = [&](const uint8_t* data, size_t length, int target) {
    padTo4(bin, 0);
    views.push_back({bin.size(), length, target});
    bin.insert(bin.end(), data, data + length);
  };
  addView(reinterpret_cast<const uint8_t*>(positions.data()), positions.size() * 4, 34962);
  addView(reinterpret_cast<const uint8_t*>(normals.data()), normals.size() * 4, 34962);
  addView(reinterpret_cast<const uint8_t*>(uvs.data()), uvs.size() * 4, 34962);
  addView(reinterpret_cast<const uint8_t*>(model.indices.data()), model.indices.size() * 4, 34963);
  addView(model.texture.data(), model.texture.size(), 0);
  padTo4(bin, 0);

  const ModelBounds bounds = BoundsOf(model);
  const size_t count = model.vertices.size();
  JsonWriter json(true);
  json.beginObject().key("asset").beginObject().key("version").value("2.0").key("generator").value("Kestrova").endObject();
  const bool coat = model.material.clearcoat > 0;
  const size_t clear = std::min(model.clearCount, model.indices.size());
  const size_t opaque = model.indices.size() - clear;
  if (coat || clear > 0) {
    json.key("extensionsUsed").beginArray();
    if (coat) json.value("KHR_materials_clearcoat");
    if (clear > 0) json.value("KHR_materials_transmission");
    json.endArray();
  }
  json.key("scene").value(0).key("scenes").beginArray().beginObject().key("nodes").beginArray().value(0).endArray();
  json.endObject().endArray();
  json.key("nodes").beginArray().beginObject().key("mesh").value(0).key("name").value(model.name).endObject().endArray();
  json.key("meshes").beginArray().beginObject().key("name").value(model.name).key("primitives").beginArray();
  json.beginObject().key("attributes").beginObject().key("POSITION").value(0).key("NORMAL").value(1);
  json.key("TEXCOORD_0").value(2).endObject().key("indices").value(3).key("material").value(0).endObject();
  if (clear > 0) {
    json.beginObject().key("attributes").beginObject().key("POSITION").value(0).key("NORMAL").value(1).endObject();
    json.key("indices").value(4).key("material").value(1).endObject();
  }
  json.endArray().endObject().endArray();
  json.key("materials").beginArray().beginObject().key("name").value("Artwork").key("pbrMetallicRoughness");
  json.beginObject().key("baseColorTexture").beginObject().key("index").value(0).endObject();
  json.key("metallicFactor").value(finite(model.material.metallic));
  json.key("roughnessFactor").value(finite(model.material.roughness)).endObject();
  if (coat) {
    json.key("extensions").beginObject().key("KHR_materials_clearcoat").beginObject();
    json.key("clearcoatFactor").value(finite(model.material.clearcoat));
    json.key("clearcoatRoughnessFactor").value(finite(model.material.clearcoatRoughness)).endObject().endObject();
  }
  json.endObject();
  if (clear > 0) {
    // Clear plastic: all the light it does not reflect goes through.
    json.beginObject().key("name").value("Clear plastic").key("doubleSided").value(true).key("pbrMetallicRoughness");
    json.beginObject().key("metallicFactor").value(0).key("roughnessFactor").value(0.05).endObject();
    json.key("extensions").beginObject().key("KHR_materials_transmission").beginObject();
    json.key("transmissionFactor").value(1).endObject().endObject().endObject();
  }
  json.endArray();
  // Linear filtering with mipmaps, clamped: the atlas's pictures must not
  // bleed into each other across its edges.
  json.key("samplers").beginArray().beginObject().key("magFilter").value(9729).key("minFilter").value(9987);
  json.key("wrapS").value(33071).key("wrapT").value(33071).endObject().endArray();
  json.key("textures").beginArray().beginObject().key("sampler").value(0).key("source").value(0).endObject().endArray();
  json.key("images").beginArray().beginObject().key("bufferView").value(4).key("mimeType").value(model.textureMime);
  json.endObject().endArray();
  auto accessor = [&json](int view, int type, size_t n, const char* shape) -> JsonWriter& {
    return json.beginObject().key("bufferView").value(view).key("componentType").value(type).key("count").value(n).key(
        "type").value(shape);
  };
  json.key("accessors").beginArray();
  accessor(0, 5126, count, "VEC3").key("min").beginArray();
  for (const float v : bounds.min) json.value(finite(v));
  json.endArray().key("max").beginArray();
  for (const float v : bounds.max) json.value(finite(v));
  json.endArray().endObject();
  accessor(1, 5126, count, "VEC3").endObject();
  accessor(2, 5126, count, "VEC2").endObject();
  accessor(3, 5125, opaque, "SCALAR").endObject();
  if (clear > 0) accessor(3, 5125, clear, "SCALAR").key("byteOffset").value(opaque * 4).endObject();
  json.endArray().key("bufferViews").beginArray();
  for (const View& view : views) {
    json.beginObject().key("buffer").value(0).key("byteOffset").value(view.offset).key("byteLength").value(view.length);
    if (view.target) json.key("target").value(view.target);
    json.endObject();
  }
  json.endArray().key("buffers").beginArray().beginObject().key("byteLength").value(bin.size()).endObject().endArray();
  json.endObject();
  std::string text = json.text();
  while (text.size() % 4 != 0) text += ' ';

  std::vector<uint8_t> glb;
  put32(glb, 0x46546C67);  // "glTF"
  put32(glb, 2);
  put32(glb, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
  put32(glb, static_cast<uint32_t>(text.size()));
  put32(glb, 0x4E4F534A);  // "JSON"
  glb.insert(glb.end(), text.begin(), text.end());
  put32(glb, static_cast<uint32_t>(bin.size()));
  put32(glb, 0x004E4942);  // "BIN"
  glb.insert(glb.end(), bin.begin(), bin.end());
  return glb;
}

namespace {

// One mesh of the model's triangles from index `from` to `to`, its
// vertices numbered afresh.
void usdMesh(std::ostringstream& usd, const ShopModel& model, const char* name, size_t from, size_t to) {
  std::vector<uint32_t> own;
  std::map<uint32_t, uint32_t> renumbered;
  for (size_t i = from; i < to; ++i) {
    if (renumbered.emplace(model.indices[i], static_cast<uint32_t>(own.size())).second) own.push_back(model.indices[i]);
  }
  ShopModel part;
  for (const uint32_t v : own) part.vertices.push_back(model.vertices[v]);
  usd << "    def Mesh \"" << name << "\"\n    {\n";
  usd << "        uniform bool doubleSided = " << (std::string(name) == "Clear" ? 1 : 0) << "\n";
  usd << "        int[] faceVertexCounts = [";
  for (size_t i = 0; i < (to - from) / 3; ++i) usd << (i ? ", 3" : "3");
  usd << "]\n        int[] faceVertexIndices = [";
  for (size_t i = from; i < to; ++i) usd << (i > from ? ", " : "") << renumbered[model.indices[i]];
  const ModelBounds bounds = BoundsOf(part);
  usd << "]\n        float3[] extent = [(" << number(bounds.min[0]) << ", " << number(bounds.min[1]) << ", "
      << number(bounds.min[2]) << "), (" << number(bounds.max[0]) << ", " << number(bounds.max[1]) << ", "
      << number(bounds.max[2]) << ")]\n";
  usd << "        point3f[] points = [";
  for (size_t i = 0; i < part.vertices.size(); ++i) {
    const float* p = part.vertices[i].position;
    usd << (i ? ", " : "") << "(" << number(p[0]) << ", " << number(p[1]) << ", " << number(p[2]) << ")";
  }
  usd << "]\n        normal3f[] normals = [";
  for (size_t i = 0; i < part.vertices.size(); ++i) {
    const float* n = part.vertices[i].normal;
    usd << (i ? ", " : "") << "(" << number(n[0]) << ", " << number(n[1]) << ", " << number(n[2]) << ")";
  }
  usd << "] (\n            interpolation = \"vertex\"\n        )\n";
  // USD's texture coordinates start at the bottom left.
  usd << "        texCoord2f[] primvars:st = [";
  for (size_t i = 0; i < part.vertices.size(); ++i) {
    const float* t = part.vertices[i].uv;
    usd << (i ? ", " : "") << "(" << number(t[0]) << ", " << number(1.0 - t[1]) << ")";
  }
  usd << "] (\n            interpolation = \"vertex\"\n        )\n";
  usd << "        uniform token subdivisionScheme = \"none\"\n";
  usd << "        rel material:binding = </Product/Materials/" << name << ">\n    }\n\n";
}

std::string usdLayer(const ShopModel& model, const std::string& picture) {
  std::ostringstream usd;
  usd << "#usda 1.0\n(\n    defaultPrim = \"Product\"\n    metersPerUnit = 1\n    upAxis = \"Y\"\n"
         "    doc = \"Written by Kestrova\"\n)\n\n";
  usd << "def Xform \"Product\" (\n    kind = \"component\"\n)\n{\n";
  const size_t clear = std::min(model.clearCount, model.indices.size());
  usdMesh(usd, model, "Artwork", 0, model.indices.size() - clear);
  if (clear > 0) {
    // In a transform of its own: readers that take one mesh a transform
    // (three.js's) see both.
    usd << "    def Xform \"ClearParts\"\n    {\n";
    std::ostringstream inner;
    usdMesh(inner, model, "Clear", model.indices.size() - clear, model.indices.size());
    std::istringstream lines(inner.str());
    for (std::string line; std::getline(lines, line);) usd << (line.empty() ? "" : "    ") << line << "\n";
    usd << "    }\n\n";
  }
  usd << "    def Scope \"Materials\"\n    {\n";
  usd << "        def Material \"Artwork\"\n        {\n"
         "            token outputs:surface.connect = </Product/Materials/Artwork/Surface.outputs:surface>\n\n"
         "            def Shader \"Surface\"\n            {\n"
         "                uniform token info:id = \"UsdPreviewSurface\"\n"
         "                color3f inputs:diffuseColor.connect = </Product/Materials/Artwork/Picture.outputs:rgb>\n"
      << "                float inputs:roughness = " << number(model.material.roughness) << "\n"
      << "                float inputs:metallic = " << number(model.material.metallic) << "\n"
      << "                float inputs:clearcoat = " << number(model.material.clearcoat) << "\n"
      << "                float inputs:clearcoatRoughness = " << number(model.material.clearcoatRoughness) << "\n"
      << "                token outputs:surface\n            }\n\n"
         "            def Shader \"Coordinates\"\n            {\n"
         "                uniform token info:id = \"UsdPrimvarReader_float2\"\n"
         "                string inputs:varname = \"st\"\n"
         "                float2 outputs:result\n            }\n\n"
         "            def Shader \"Picture\"\n            {\n"
         "                uniform token info:id = \"UsdUVTexture\"\n"
      << "                asset inputs:file = @" << picture << "@\n"
      << "                float2 inputs:st.connect = </Product/Materials/Artwork/Coordinates.outputs:result>\n"
         "                token inputs:wrapS = \"clamp\"\n"
         "                token inputs:wrapT = \"clamp\"\n"
         "                token inputs:sourceColorSpace = \"sRGB\"\n"
         "                float3 outputs:rgb\n            }\n        }\n\n";
  if (clear > 0) {
    // Quick Look has no transmission: clear plastic is a smooth surface
    // letting most light through.
    usd << "        def Material \"Clear\"\n        {\n"
           "            token outputs:surface.connect = </Product/Materials/Clear/Surface.outputs:surface>\n\n"
           "            def Shader \"Surface\"\n            {\n"
           "                uniform token info:id = \"UsdPreviewSurface\"\n"
           "                color3f inputs:diffuseColor = (1, 1, 1)\n"
           "                float inputs:opacity = 0.12\n"
           "                float inputs:roughness = 0.05\n"
           "                float inputs:ior = 1.5\n"
           "                token outputs:surface\n            }\n        }\n\n";
  }
  usd << "    }\n}\n";
  return usd.str();
}

struct ZipEntry {
  std::string name;
  uint32_t crc = 0;
  uint32_t size = 0;
  uint32_t offset = 0;  // of its local header
};

// One stored file, its data starting on a 64-byte boundary: the local
// header's extra field pads it there.
void addStored(std::vector<uint8_t>& zip, std::vector<ZipEntry>& entries, const std::string& name,
               const std::vector<uint8_t>& data) {
  ZipEntry entry;
  entry.name = name;
  entry.size = static_cast<uint32_t>(data.size());
  entry.crc = static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
  entry.offset = static_cast<uint32_t>(zip.size());
  const size_t headerEnd = zip.size() + 30 + name.size();
  size_t padding = (64 - headerEnd % 64) % 64;
  if (padding > 0 && padding < 4) padding += 64;  // an extra field holds its own 4-byte header
  put32(zip, 0x04034b50);
  put16(zip, 20);  // version needed
  put16(zip, 0);   // flags
  put16(zip, 0);   // stored
  put16(zip, 0);   // time
  put16(zip, 0x21);  // date: 1980-01-01
  put32(zip, entry.crc);
  put32(zip, entry.size);
  put32(zip, entry.size);
  put16(zip, static_cast<uint32_t>(name.size()));
  put16(zip, static_cast<uint32_t>(padding));
  zip.insert(zip.end(), name.begin(), name.end());
  if (padding > 0) {
    put16(zip, 0x1986);  // an unregistered id: padding, as Apple's tools write
    put16(zip, static_cast<uint32_t>(padding - 4));
    zip.insert(zip.end(), padding - 4, 0);
  }
  zip.insert(zip.end(), data.begin(), data.end());
  entries.push_back(entry);
}

}  // namespace

std::vector<uint8_t> WriteUsdz(const ShopModel& model) {
  const std::string picture = model.textureMime == "image/jpeg" ? "artwork.jpg" : "artwork.png";
  const std::string layer = usdLayer(model, picture);
  std::vector<uint8_t> zip;
  std::vector<ZipEntry> entries;
  addStored(zip, entries, "model.usda", {layer.begin(), layer.end()});
  addStored(zip, entries, picture, model.texture);
  const uint32_t directory = static_cast<uint32_t>(zip.size());
  for (const ZipEntry& entry : entries) {
    put32(zip, 0x02014b50);
    put16(zip, 20);  // made by
    put16(zip, 20);  // needed
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 0x21);
    put32(zip, entry.crc);
    put32(zip, entry.size);
    put32(zip, entry.size);
    put16(zip, static_cast<uint32_t>(entry.name.size()));
    put16(zip, 0);  // extra
    put16(zip, 0);  // comment
    put16(zip, 0);  // disk
    put16(zip, 0);  // internal attributes
    put32(zip, 0);  // external attributes
    put32(zip, entry.offset);
    zip.insert(zip.end(), entry.name.begin(), entry.name.end());
  }
  const uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directory;
  put32(zip, 0x06054b50);
  put16(zip, 0);
  put16(zip, 0);
  put16(zip, static_cast<uint32_t>(entries.size()));
  put16(zip, static_cast<uint32_t>(entries.size()));
  put32(zip, directorySize);
  put32(zip, directory);
  put16(zip, 0);
  return zip;
}

}  // namespace kestrova
