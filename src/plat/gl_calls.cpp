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
using GLuint = unsigned int;
using GLboolean = unsigned char;
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

// Offscreen layers.
const GLenum kFramebuffer = 0x8D40;
const GLenum kReadFramebuffer = 0x8CA8;
const GLenum kReadFramebufferBinding = 0x8CAA;
const GLenum kRenderbuffer = 0x8D41;
const GLenum kColorAttachment0 = 0x8CE0;
const GLenum kFramebufferComplete = 0x8CD5;
const GLenum kRgba8 = 0x8058;
const GLenum kSamples = 0x80A9;
const GLenum kScissorTest = 0x0C11;
const GLenum kNearest = 0x2600;
const GLenum kCurrentProgram = 0x8B8D;
void (*glGenFramebuffers_)(GLsizei, GLuint*) = nullptr;
void (*glDeleteFramebuffers_)(GLsizei, const GLuint*) = nullptr;
void (*glBindFramebuffer_)(GLenum, GLuint) = nullptr;
GLenum (*glCheckFramebufferStatus_)(GLenum) = nullptr;
void (*glGenRenderbuffers_)(GLsizei, GLuint*) = nullptr;
void (*glDeleteRenderbuffers_)(GLsizei, const GLuint*) = nullptr;
void (*glBindRenderbuffer_)(GLenum, GLuint) = nullptr;
void (*glRenderbufferStorageMultisample_)(GLenum, GLsizei, GLenum, GLsizei, GLsizei) = nullptr;
void (*glFramebufferRenderbuffer_)(GLenum, GLenum, GLenum, GLuint) = nullptr;
void (*glBlitFramebuffer_)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield,
                           GLenum) = nullptr;
void (*glGetIntegerv_)(GLenum, GLint*) = nullptr;
GLenum (*glGetError_)() = nullptr;
void (*glEnable_)(GLenum) = nullptr;
void (*glDisable_)(GLenum) = nullptr;
GLboolean (*glIsEnabled_)(GLenum) = nullptr;
GLint (*glGetUniformLocation_)(GLuint, const char*) = nullptr;
void (*glGetUniformfv_)(GLuint, GLint, GLfloat*) = nullptr;
void (*glUniformMatrix4fv_)(GLint, GLsizei, GLboolean, const GLfloat*) = nullptr;
bool haveLayers = false;

template <class F> bool lookUp(F& fn, const char* name) {
    fn = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return fn != nullptr;
}

bool loadLayers() {
    bool all = lookUp(glGenFramebuffers_, "glGenFramebuffers");
    all = lookUp(glDeleteFramebuffers_, "glDeleteFramebuffers") && all;
    all = lookUp(glBindFramebuffer_, "glBindFramebuffer") && all;
    all = lookUp(glCheckFramebufferStatus_, "glCheckFramebufferStatus") && all;
    all = lookUp(glGenRenderbuffers_, "glGenRenderbuffers") && all;
    all = lookUp(glDeleteRenderbuffers_, "glDeleteRenderbuffers") && all;
    all = lookUp(glBindRenderbuffer_, "glBindRenderbuffer") && all;
    all = lookUp(glRenderbufferStorageMultisample_, "glRenderbufferStorageMultisample") && all;
    all = lookUp(glFramebufferRenderbuffer_, "glFramebufferRenderbuffer") && all;
    all = lookUp(glBlitFramebuffer_, "glBlitFramebuffer") && all;
    all = lookUp(glGetIntegerv_, "glGetIntegerv") && all;
    all = lookUp(glGetError_, "glGetError") && all;
    all = lookUp(glEnable_, "glEnable") && all;
    all = lookUp(glDisable_, "glDisable") && all;
    all = lookUp(glIsEnabled_, "glIsEnabled") && all;
    all = lookUp(glGetUniformLocation_, "glGetUniformLocation") && all;
    all = lookUp(glGetUniformfv_, "glGetUniformfv") && all;
    all = lookUp(glUniformMatrix4fv_, "glUniformMatrix4fv") && all;
    return all;
}

} // namespace

bool load() {
    bool all = lookUp(glClearColor_, "glClearColor");
    all = lookUp(glClear_, "glClear") && all;
    all = lookUp(glViewport_, "glViewport") && all;
    all = lookUp(glReadPixels_, "glReadPixels") && all;
    all = lookUp(glPixelStorei_, "glPixelStorei") && all;
    all = lookUp(glReadBuffer_, "glReadBuffer") && all;
    haveLayers = loadLayers() && all;
    return all;
}

void clear(int w, int h, float r, float g, float b) {
    if (glViewport_) glViewport_(0, 0, w, h);
    if (glClearColor_) glClearColor_(r, g, b, 1);
    if (glClear_) glClear_(kColorBufferBit);
}

void clearFrame(int w, int h) {
    clear(w, h, 1 / 255.0f, 3 / 255.0f, 10 / 255.0f);
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

// --- offscreen layers ----------------------------------------------------------------------------

bool createLayer(Layer& layer, int w, int h) {
    if (!haveLayers || w <= 0 || h <= 0) return false;
    GLint samples = 0;
    glGetIntegerv_(kSamples, &samples); // of the window's framebuffer, bound outside layers
    glGenRenderbuffers_(1, &layer.renderbuffer);
    glBindRenderbuffer_(kRenderbuffer, layer.renderbuffer);
    glRenderbufferStorageMultisample_(kRenderbuffer, samples, kRgba8, w, h);
    glBindRenderbuffer_(kRenderbuffer, 0);
    glGenFramebuffers_(1, &layer.framebuffer);
    glBindFramebuffer_(kFramebuffer, layer.framebuffer);
    glFramebufferRenderbuffer_(kFramebuffer, kColorAttachment0, kRenderbuffer, layer.renderbuffer);
    const bool complete = glCheckFramebufferStatus_(kFramebuffer) == kFramebufferComplete;
    glBindFramebuffer_(kFramebuffer, 0);
    layer.width = w;
    layer.height = h;
    if (complete && glGetError_() == 0) return true;
    destroyLayer(layer);
    return false;
}

void destroyLayer(Layer& layer) {
    if (layer.framebuffer) glDeleteFramebuffers_(1, &layer.framebuffer);
    if (layer.renderbuffer) glDeleteRenderbuffers_(1, &layer.renderbuffer);
    layer = {};
}

void drawToLayer(const Layer& layer) {
    glBindFramebuffer_(kFramebuffer, layer.framebuffer);
    clearFrame(layer.width, layer.height);
}

void drawToWindow() {
    glBindFramebuffer_(kFramebuffer, 0);
}

void turnProjectionOver() {
    GLint program = 0;
    glGetIntegerv_(kCurrentProgram, &program);
    const GLint at = glGetUniformLocation_(GLuint(program), "ProjMtx");
    if (at < 0) return;
    GLfloat m[16] = {};
    glGetUniformfv_(GLuint(program), at, m);
    // Column-major: y' = -(m[5] y + m[13]), exactly the matrix with top and bottom swapped.
    m[5] = -m[5];
    m[13] = -m[13];
    glUniformMatrix4fv_(at, 1, 0, m);
}

void copyLayerToWindow(const Layer& layer) {
    const bool scissor = glIsEnabled_(kScissorTest);
    GLint read = 0;
    glGetIntegerv_(kReadFramebufferBinding, &read);
    if (scissor) glDisable_(kScissorTest);
    glBindFramebuffer_(kReadFramebuffer, layer.framebuffer);
    const int w = layer.width, h = layer.height;
    glBlitFramebuffer_(0, 0, w, h, 0, h, w, 0, kColorBufferBit, kNearest);
    glBindFramebuffer_(kReadFramebuffer, GLuint(read));
    if (scissor) glEnable_(kScissorTest);
}

bool noErrors() {
    bool none = true;
    for (int i = 0; glGetError_ && i < 16; ++i) // each failed kind of call is flagged once
        if (glGetError_() != 0) none = false;
    return none;
}

} // namespace plat::gl
