// The one JSON writer, read back by Qt's JSON parser: whatever bytes a name
// holds, the text parses, and each mode keeps its shape.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "formats/json_writer.h"

using kestrova::JsonWriter;

namespace {

QJsonObject parsed(const std::string& text) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << " in " << text;
  return document.object();
}

}  // namespace

TEST(JsonWriter, AnyBytesMakeValidJsonInEveryModeAndNumbersStayNumbers) {
  // A name from a file: quotes, controls, a stray byte, an overlong form, a
  // surrogate, a valid accent.
  const std::string names[] = {"plain", "a \"quoted\" \\ name", std::string("tab\tand\nnewline\x01", 16),
                               "stray \xff byte", "overlong \xc0\xaf", "surrogate \xed\xa0\x80", "caf\xc3\xa9"};
  for (const bool compact : {false, true}) {
    for (const std::string& name : names) {
      JsonWriter json(compact);
      json.beginObject().key("name").value(name).key("n").value(size_t{4000000000u}).key("x").value(0.1);
      json.key("nan").value(std::numeric_limits<double>::quiet_NaN());
      json.key("v").vector3(std::array<float, 3>{1, 2.5f, -3}).key("empty").beginArray().endArray();
      json.key("nested").beginObject(true).key("list").beginArray().value(true).value(-7).endArray().endObject();
      json.endObject();
      const std::string text = json.text();
      const QJsonObject o = parsed(text);
      EXPECT_EQ(o["n"].toDouble(), 4000000000.0) << text;
      EXPECT_DOUBLE_EQ(o["x"].toDouble(), 0.1);
      EXPECT_TRUE(o["nan"].isNull()) << "JSON has no NaN";
      EXPECT_EQ(o["v"].toArray().size(), 3);
      EXPECT_EQ(o["nested"].toObject()["list"].toArray()[1].toInt(), -7);
      if (name == "caf\xc3\xa9") {
        EXPECT_EQ(o["name"].toString(), QString::fromUtf8("caf\xc3\xa9"));
      }
      if (name[0] == 'a') {
        EXPECT_EQ(o["name"].toString().toStdString(), name);
      }
      // Compact: no space or line at all; indented: a vector on one line.
      if (compact) {
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
        EXPECT_EQ(text.find("\": "), std::string::npos) << text;
        EXPECT_EQ(text.find(", "), std::string::npos) << text;
      } else {
        EXPECT_NE(text.find("\"v\": [1, 2.5, -3]"), std::string::npos) << text;
      }
    }
  }
}

// Every control character, 0x00 to 0x1F, goes out escaped and comes back
// as itself: none is written raw (JSON forbids them all).
TEST(JsonWriter, EveryControlCharacterIsEscaped) {
  for (int c = 0; c < 0x20; ++c) {
    const std::string name = std::string("a") + static_cast<char>(c) + "b";
    JsonWriter json(true);
    json.beginObject().key("name").value(name).endObject();
    const std::string text = json.text();
    for (const char byte : text) EXPECT_GE(static_cast<unsigned char>(byte), 0x20) << "byte " << c << " raw in " << text;
    EXPECT_EQ(parsed(text)["name"].toString().toStdString(), name) << "byte " << c;
  }
}
