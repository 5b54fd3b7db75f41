#pragma once
// The program's one JSON writer: the reports of the command line, the
// studio's description, the 3D models' glTF. Objects, arrays, strings,
// numbers; any bytes in a string still make valid JSON.
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

namespace kestrova {

class JsonWriter {
 public:
  // Indented for people to read, or `compact` (a file's own JSON, where
  // every byte is carried).
  explicit JsonWriter(bool compact = false) : compact_(compact) {}

  std::string text() const { return compact_ ? out_ : out_ + "\n"; }

  JsonWriter& beginObject(bool oneLine = false) { return open('{', oneLine); }
  JsonWriter& endObject() { return close('}'); }
  // `oneLine`: short arrays (a vector, a colour) keep to one line.
  JsonWriter& beginArray(bool oneLine = false) { return open('[', oneLine); }
  JsonWriter& endArray() { return close(']'); }

  JsonWriter& key(const std::string& name) {
    separate();
    quote(name);
    out_ += compact_ ? ":" : ": ";
    afterKey_ = true;
    return *this;
  }
  // x, y, z on one line.
  template <typename Vector>
  JsonWriter& vector3(const Vector& v) {
    beginArray(true);
    for (int i = 0; i < 3; ++i) value(static_cast<double>(v[i]));
    return endArray();
  }
  JsonWriter& value(const std::string& s) {
    separate();
    quote(s);
    return *this;
  }
  JsonWriter& value(const char* s) { return value(std::string(s)); }
  JsonWriter& value(bool b) {
    separate();
    out_ += b ? "true" : "false";
    return *this;
  }
  template <typename Integer, std::enable_if_t<std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>, int> = 0>
  JsonWriter& value(Integer v) {
    separate();
    out_ += std::to_string(v);
    return *this;
  }
  JsonWriter& value(double v) {
    separate();
    if (!std::isfinite(v)) {
      out_ += "null";  // JSON has no NaN or infinity
      return *this;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    out_ += text;
    return *this;
  }
  JsonWriter& value(float v) { return value(static_cast<double>(v)); }

 private:
  JsonWriter& open(char c, bool oneLine) {
    separate();
    out_ += c;
    oneLine_.push_back(compact_ || oneLine || (!oneLine_.empty() && oneLine_.back()));
    first_ = true;
    return *this;
  }
  JsonWriter& close(char c) {
    const bool flat = oneLine_.empty() || oneLine_.back();
    if (!oneLine_.empty()) oneLine_.pop_back();
    if (!first_ && !flat) {
      out_ += '\n';
      out_.append(oneLine_.size() * 2, ' ');
    }
    out_ += c;
    first_ = false;
    return *this;
  }
  void separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (oneLine_.empty()) return;
    if (!first_) out_ += ',';
    if (oneLine_.back()) {
      if (!first_ && !compact_) out_ += ' ';
    } else {
      out_ += '\n';
      out_.append(oneLine_.size() * 2, ' ');
    }
    first_ = false;
  }
  // The length of a well-formed UTF-8 sequence at s[i], or 0.
  static size_t utf8Length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    }
    // No overlong forms, surrogates or code points past U+10FFFF.
    const auto c1 = static_cast<unsigned char>(n > 1 ? s[i + 1] : 0);
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) || (n == 3 && c == 0xED && c1 >= 0xA0) ||
        (n == 4 && c == 0xF0 && c1 < 0x90) || (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 >= 0x90)))) {
      return 0;
    }
    return n;
  }

  void quote(const std::string& s) {
    out_ += '"';
    for (size_t i = 0; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (c >= 0x80) {
        // A name from a file may be any bytes: a valid character is kept,
        // a stray byte becomes the code point of its value, so the text is
        // always valid JSON.
        const size_t n = utf8Length(s, i);
        if (n > 1) {
          out_.append(s, i, n);
          i += n - 1;
        } else {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out_ += escaped;
        }
        continue;
      }
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out_ += escaped;
          } else {
            out_ += static_cast<char>(c);
          }
      }
    }
    out_ += '"';
  }

  std::string out_;
  bool compact_ = false;
  std::vector<bool> oneLine_;  // each open container's: kept to one line
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace kestrova
