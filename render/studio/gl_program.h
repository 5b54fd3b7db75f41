#pragma once
// A linked GLSL program and its uniforms by name.
#include <cstdint>
#include <string>

namespace kestrova::studio {

class GlProgram {
 public:
  GlProgram() = default;
  ~GlProgram();
  GlProgram(const GlProgram&) = delete;
  GlProgram& operator=(const GlProgram&) = delete;

  // Attributes 0, 1, 2 are position, normal and texture coordinate.
  bool build(const char* vertex, const char* fragment, std::string* error);
  bool valid() const;
  void use() const;
  int uniform(const char* name) const;
  // Its context is gone: nothing to delete.
  void abandon() { program_ = 0; }

 private:
  uint32_t program_ = 0;
};

}  // namespace kestrova::studio
