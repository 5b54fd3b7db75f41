#pragma once
// Just enough JSON for the --info reports: objects, arrays, strings, numbers.
#include <cmath>
#include <cstdio>
#include <string>

namespace kestrova {

class JsonWriter {
 public:
  std::string text() const { return out_ + "\n"; }

  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }

  JsonWriter& key(const std::string& name) {
    separate();
    quote(name);
    out_ += ": ";
    afterKey_ = true;
    return *this;
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
  JsonWriter& value(int v) {
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
  JsonWriter& open(char c) {
    separate();
    out_ += c;
    ++depth_;
    first_ = true;
    return *this;
  }
  JsonWriter& close(char c) {
    --depth_;
    if (!first_) {
      out_ += '\n';
      out_.append(static_cast<size_t>(depth_) * 2, ' ');
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
    if (depth_ == 0) return;
    if (!first_) out_ += ',';
    out_ += '\n';
    out_.append(static_cast<size_t>(depth_) * 2, ' ');
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
  int depth_ = 0;
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace kestrova
