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

  // Attributes 0 to 3 are position, normal, texture coordinate and openness.
  bool build(const char* vertex, const char* fragment, std::string* error);
  bool valid() const;
  void use() const;
  int uniform(const char* name) const;
  // Its context is gone: nothing to delete.
  void abandon() { program_ = 0; }
  // Deleted in the current context, to be built again.
  void release();

 private:
  uint32_t program_ = 0;
};

}  // namespace kestrova::studio
