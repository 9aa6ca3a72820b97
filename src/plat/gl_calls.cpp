// The few OpenGL calls made outside Dear ImGui.
#include "plat/gl_calls.h"

#include "selftest/png.h"

#include <SDL3/SDL_video.h>

#include <algorithm>
#include <vector>

namespace plat::gl {

namespace {

using GLenum = unsigned int;
using GLbitfield = unsigned int;
using GLint = int;
using GLsizei = int;
using GLfloat = float;
const GLenum kColorBufferBit = 0x4000;
const GLenum kBack = 0x0405;
const GLenum kPackAlignment = 0x0D05;
const GLenum kRgba = 0x1908;
const GLenum kUnsignedByte = 0x1401;
void (*glClearColor_)(GLfloat, GLfloat, GLfloat, GLfloat) = nullptr;
void (*glClear_)(GLbitfield) = nullptr;
void (*glViewport_)(GLint, GLint, GLsizei, GLsizei) = nullptr;
void (*glReadPixels_)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) = nullptr;
void (*glPixelStorei_)(GLenum, GLint) = nullptr;
void (*glReadBuffer_)(GLenum) = nullptr;

template <class F> bool lookUp(F& fn, const char* name) {
    fn = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return fn != nullptr;
}

} // namespace

bool load() {
    bool all = lookUp(glClearColor_, "glClearColor");
    all = lookUp(glClear_, "glClear") && all;
    all = lookUp(glViewport_, "glViewport") && all;
    all = lookUp(glReadPixels_, "glReadPixels") && all;
    all = lookUp(glPixelStorei_, "glPixelStorei") && all;
    all = lookUp(glReadBuffer_, "glReadBuffer") && all;
    return all;
}

void clear(int w, int h, float r, float g, float b) {
    if (glViewport_) glViewport_(0, 0, w, h);
    if (glClearColor_) glClearColor_(r, g, b, 1);
    if (glClear_) glClear_(kColorBufferBit);
}

bool saveBackBuffer(const std::string& path, int w, int h) {
    if (!glReadPixels_ || w <= 0 || h <= 0) return false;
    size_t row = size_t(w) * 4;
    std::vector<unsigned char> read(row * size_t(h), 0), flipped(row * size_t(h), 0);
    if (glReadBuffer_) glReadBuffer_(kBack);
    if (glPixelStorei_) glPixelStorei_(kPackAlignment, 1);
    glReadPixels_(0, 0, w, h, kRgba, kUnsignedByte, read.data());
    // OpenGL's rows run bottom-up, the file's top-down.
    for (int r = 0; r < h; ++r)
        std::copy_n(read.data() + size_t(h - 1 - r) * row, row, flipped.data() + size_t(r) * row);
    return writePng(path, flipped.data(), unsigned(w), unsigned(h), false);
}

} // namespace plat::gl
