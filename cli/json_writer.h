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
  void quote(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
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
