#pragma once
#include <memory>
#include <string>

namespace kestrova {

// An off-screen desktop GL (compatibility profile) context on an EGL pbuffer.
// Needs no X server: Mesa's surfaceless platform with llvmpipe is enough.
class HeadlessContext {
 public:
  // Creates and makes current a context whose pbuffer is width x height.
  // On failure isValid() is false and error() says why.
  HeadlessContext(int width, int height);
  ~HeadlessContext();
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  bool isValid() const;
  const std::string& error() const { return error_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool makeCurrent();

 private:
  struct Egl;
  std::unique_ptr<Egl> egl_;
  std::string error_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace kestrova
