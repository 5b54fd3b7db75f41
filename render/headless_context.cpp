#include "headless_context.h"

#include "export_image.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

namespace kestrova {

struct HeadlessContext::Egl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLSurface surface = EGL_NO_SURFACE;
  EGLContext context = EGL_NO_CONTEXT;
};

namespace {

std::string eglFailure(const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", what,
                static_cast<unsigned>(eglGetError()));
  return text;
}

EGLDisplay openDisplay() {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay) {
    EGLDisplay display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display != EGL_NO_DISPLAY) return display;
  }
  return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

}  // namespace

HeadlessContext::HeadlessContext(int width, int height)
    : egl_(std::make_unique<Egl>()), width_(width), height_(height) {
  if (width < 1 || height < 1) {
    error_ = "the image size must be at least 1 x 1";
    return;
  }
  egl_->display = openDisplay();
  if (egl_->display == EGL_NO_DISPLAY || !eglInitialize(egl_->display, nullptr, nullptr)) {
    error_ = eglFailure("eglInitialize");
    egl_->display = EGL_NO_DISPLAY;
    return;
  }
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                     EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24,
                                     EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(egl_->display, configAttributes, &config, 1, &count) || count < 1) {
    error_ = "no EGL configuration offers desktop OpenGL on a pbuffer";
    return;
  }
  const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  egl_->surface = eglCreatePbufferSurface(egl_->display, config, surfaceAttributes);
  if (egl_->surface == EGL_NO_SURFACE) {
    error_ = eglFailure("eglCreatePbufferSurface");
    return;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    error_ = eglFailure("eglBindAPI");
    return;
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  egl_->context = eglCreateContext(egl_->display, config, EGL_NO_CONTEXT, contextAttributes);
  if (egl_->context == EGL_NO_CONTEXT) {
    error_ = eglFailure("eglCreateContext");
    return;
  }
  if (!makeCurrent()) error_ = eglFailure("eglMakeCurrent");
}

HeadlessContext::~HeadlessContext() {
  if (egl_->display == EGL_NO_DISPLAY) return;
  ForgetExportFramebuffer(egl_->context);
  eglMakeCurrent(egl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (egl_->context != EGL_NO_CONTEXT) eglDestroyContext(egl_->display, egl_->context);
  if (egl_->surface != EGL_NO_SURFACE) eglDestroySurface(egl_->display, egl_->surface);
  // The display is shared by every context of the process; terminating it
  // here would pull it from under another live HeadlessContext.
}

bool HeadlessContext::isValid() const { return error_.empty(); }

bool HeadlessContext::makeCurrent() {
  return egl_->context != EGL_NO_CONTEXT &&
         eglMakeCurrent(egl_->display, egl_->surface, egl_->surface, egl_->context);
}

}  // namespace kestrova
