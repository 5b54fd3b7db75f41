#include "render/studio/gl_program.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

namespace kestrova::studio {

namespace {

GLuint compile(GLenum kind, const char* source, std::string* error) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length) + 1);
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    *error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader: " + log.data();
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

GlProgram::~GlProgram() {
  if (program_ != 0 && glIsProgram(program_)) glDeleteProgram(program_);
}

void GlProgram::release() {
  if (program_ != 0 && glIsProgram(program_)) glDeleteProgram(program_);
  program_ = 0;
}

bool GlProgram::build(const char* vertex, const char* fragment, std::string* error) {
  const GLuint vs = compile(GL_VERTEX_SHADER, vertex, error);
  if (vs == 0) return false;
  const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment, error);
  if (fs == 0) {
    glDeleteShader(vs);
    return false;
  }
  program_ = glCreateProgram();
  glAttachShader(program_, vs);
  glAttachShader(program_, fs);
  glBindAttribLocation(program_, 0, "aPosition");
  glBindAttribLocation(program_, 1, "aNormal");
  glBindAttribLocation(program_, 2, "aUv");
  glBindAttribLocation(program_, 3, "aOpenness");
  glLinkProgram(program_);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program_, GL_LINK_STATUS, &ok);
  if (!ok) {
    GLint length = 0;
    glGetProgramiv(program_, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length) + 1);
    glGetProgramInfoLog(program_, length, nullptr, log.data());
    *error = std::string("linking: ") + log.data();
    glDeleteProgram(program_);
    program_ = 0;
    return false;
  }
  return true;
}

bool GlProgram::valid() const { return program_ != 0 && glIsProgram(program_); }

void GlProgram::use() const { glUseProgram(program_); }

int GlProgram::uniform(const char* name) const { return glGetUniformLocation(program_, name); }

}  // namespace kestrova::studio
