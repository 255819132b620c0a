// The Direct3D-shaped device on OpenGL 3.3 core (SDL2 + libepoxy), or,
// built with VELMOR_GL_ES, on OpenGL ES 3.0 as WebGL 2 offers it (libepoxy on
// the desktop, Emscripten's GLES3 headers in a browser).
//
// The back buffer is an offscreen framebuffer of the mode's size and format
// whose row 0 is the top screen row, so screen coordinates map straight onto
// it. Shader programs, one per combination of stage states, reproduce the
// fixed-function pipeline the engine uses: pre-transformed vertices, diffuse and specular colours, two texture
// coordinate sets, two texture stages, the texture factor, alpha blending and
// vertex fog from the specular alpha. Present turns the back buffer into the
// front buffer (what screenshots read) and draws it letterboxed into the
// window through the gamma ramp.
//
// A frame's commands are held until its present, which compares them with the
// last shown frame's to find where the picture can differ (its damage): only
// there is it drawn (scissored), scaled into the window and handed to the
// window system. A frame without damage is neither drawn nor shown again.
#include "d3d8_gl.h"

#include <SDL.h>
#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h>
// S3TC enums.
#include <GLES2/gl2ext.h>
#else
#include <epoxy/gl.h>
#endif
#if defined(SDL_VIDEO_DRIVER_X11)
#include <SDL_syswm.h>
#include <epoxy/glx.h>
#endif
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <epoxy/egl.h>
#define VELMOR_GL_EGL 1
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <type_traits>

#include "d3d8_device.h"
#include "damage_region.h"
#include "letterbox.h"
#if defined(__EMSCRIPTEN__)
#include "page.h"
#endif
#include "presentation.h"
#include "sdl_events.h"
#include "texel_rgba.h"
#include "window_sdl.h"

#if VELMOR_GL_ES
// OpenGL ES 3.0 shading language, at full precision like desktop OpenGL's.
#define VELMOR_GLSL_HEADER \
    "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;\n"
#else
#define VELMOR_GLSL_HEADER "#version 330 core\n"
#endif

namespace vd3d {

namespace {

bool g_skipRepeatedFrames = true;
bool g_trackDamage = true;

using platform::DamageRegion;
using platform::PixelRect;

// ---- Texture formats --------------------------------------------------------

// The OpenGL format of an S3TC texture; 0 for any other format.
GLenum S3tcFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1: return GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
        // The premultiplied variants are stored as their plain twins.
        case D3DFMT_DXT2:
        case D3DFMT_DXT3: return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        case D3DFMT_DXT4:
        case D3DFMT_DXT5: return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        default: return 0;
    }
}

// Desktop OpenGL and OpenGL ES name S3TC GL_EXT_texture_compression_s3tc;
// WebGL 2 (as Emscripten lists it) WEBGL_compressed_texture_s3tc.
bool HasS3tc() {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name && (std::strcmp(name, "GL_EXT_texture_compression_s3tc") == 0 ||
                     std::strcmp(name, "WEBGL_compressed_texture_s3tc") == 0))
            return true;
    }
    return false;
}

#if !VELMOR_GL_ES
// Desktop OpenGL takes Direct3D's texels as they are, with swizzles for the
// channels a format lacks.
struct GlFormat {
    D3DFORMAT d3d;
    GLenum internalFormat;
    GLenum format;  // 0 for compressed formats
    GLenum type;
    GLint swizzle[4];
};

const GlFormat kGlFormats[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
    {D3DFMT_X8R8G8B8, GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
    {D3DFMT_R5G6B5, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
    {D3DFMT_X1R5G5B5, GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
    {D3DFMT_A1R5G5B5, GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
    {D3DFMT_A4R4G4B4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
    {D3DFMT_X4R4G4B4, GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}},
    {D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}},
};

const GlFormat* FindGlFormat(D3DFORMAT format) {
    for (const GlFormat& f : kGlFormats)
        if (f.d3d == format) return &f;
    return nullptr;
}
#endif

// ---- Shaders ------------------------------------------------------------------

const char* const kSceneVertexShader = VELMOR_GLSL_HEADER R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
layout(location = 3) in vec2 aTexCoord0;
layout(location = 4) in vec2 aTexCoord1;
uniform vec2 uTargetSize;
out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord0;
out vec2 vTexCoord1;
void main() {
    // Direct3D puts pixel centres on whole coordinates, OpenGL half a pixel in.
    vec2 ndc = (aPosition.xy + 0.5) / uTargetSize * 2.0 - 1.0;
    gl_Position = vec4(ndc, 0.0, 1.0);
    // Direct3D's colours are B, G, R, A bytes.
    vDiffuse = aDiffuse.bgra;
    vSpecular = aSpecular.bgra;
    vTexCoord0 = aTexCoord0;
    vTexCoord1 = aTexCoord1;
}
)";

// Stage operation and argument codes are Direct3D's. Each program is built
// for one combination of stage operations, arguments, coordinate sets,
// bound textures, specular, fog and emulated border addressing (a SceneKey),
// given as the constants kHasTexture, kColorStage, kAlphaStage, kBorder,
// kSpecularEnable and kFogEnable written before this text, so the compiler
// keeps only the work that combination does.
const char* const kSceneFragmentShader = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord0;
in vec2 vTexCoord1;
uniform sampler2D uTexture0;
uniform sampler2D uTexture1;
uniform vec4 uTextureFactor;
uniform vec3 uFogColor;
uniform vec4 uBorderColor[2];
out vec4 fragColor;

vec4 Argument(int argument, vec4 current, vec4 texel) {
    switch (argument & 15) {
        case 0: return vDiffuse;
        case 2: return texel;
        case 3: return uTextureFactor;
        case 4: return vSpecular;
        default: return current;
    }
}

vec3 ColorOperation(int op, vec3 a, vec3 b) {
    switch (op) {
        case 3: return b;
        case 4: return a * b;
        case 7: return a + b;
        case 10: return a - b;
        case 24: return vec3(clamp(4.0 * dot(a - 0.5, b - 0.5), 0.0, 1.0));
        default: return a;
    }
}

float AlphaOperation(int op, float a, float b) {
    switch (op) {
        case 3: return b;
        case 4: return a * b;
        case 7: return a + b;
        case 10: return a - b;
        case 24: return clamp(4.0 * (a - 0.5) * (b - 0.5), 0.0, 1.0);
        default: return a;
    }
}

vec4 Stage(int stage, vec4 current, vec4 texel) {
    ivec4 c = kColorStage[stage];
    ivec4 a = kAlphaStage[stage];
    vec3 rgb = ColorOperation(c.x, Argument(c.y, current, texel).rgb, Argument(c.z, current, texel).rgb);
    float alpha = a.x == 1 ? current.a
                           : AlphaOperation(a.x, Argument(a.y, current, texel).a, Argument(a.z, current, texel).a);
    if (c.x == 24) alpha = rgb.r;  // the dot product goes to every channel
    return clamp(vec4(rgb, alpha), 0.0, 1.0);
}

vec2 Coordinates(int set) { return set == 1 ? vTexCoord1 : vTexCoord0; }

// Border addressing where the sampler has none (kBorder: 1 across, 2 down):
// coordinates outside the texture read the border colour.
vec4 Bordered(int stage, vec2 uv, vec4 texel) {
    bool outsideU = (kBorder[stage] & 1) != 0 && (uv.x < 0.0 || uv.x >= 1.0);
    bool outsideV = (kBorder[stage] & 2) != 0 && (uv.y < 0.0 || uv.y >= 1.0);
    return outsideU || outsideV ? uBorderColor[stage] : texel;
}

vec4 Texel0() {
    vec2 uv = Coordinates(kColorStage[0].w);
    return Bordered(0, uv, texture(uTexture0, uv));
}

vec4 Texel1() {
    vec2 uv = Coordinates(kColorStage[1].w);
    return Bordered(1, uv, texture(uTexture1, uv));
}

void main() {
    // A stage with no texture reads opaque white.
    vec4 texel0 = kHasTexture.x != 0 ? Texel0() : vec4(1.0);
    vec4 texel1 = kHasTexture.y != 0 ? Texel1() : vec4(1.0);
    vec4 current = vDiffuse;
    if (kColorStage[0].x != 1) {
        current = Stage(0, current, texel0);
        if (kColorStage[1].x != 1) current = Stage(1, current, texel1);
    }
    if (kSpecularEnable != 0) current.rgb = min(current.rgb + vSpecular.rgb, 1.0);
    if (kFogEnable != 0) current.rgb = mix(uFogColor, current.rgb, vSpecular.a);
    fragColor = current;
}
)";

const char* const kPresentVertexShader = VELMOR_GLSL_HEADER R"(
out vec2 vUV;
void main() {
    vec2 p = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
    // Row 0 of the back buffer is the top of the picture.
    vUV = vec2(p.x, 1.0 - p.y);
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)";

const char* const kPresentFragmentShader = VELMOR_GLSL_HEADER R"(
in vec2 vUV;
uniform sampler2D uFrame;
uniform sampler2D uGamma;
uniform int uApplyGamma;
out vec4 fragColor;
void main() {
    vec3 c = texture(uFrame, vUV).rgb;
    if (uApplyGamma != 0) {
        ivec3 i = ivec3(c * 255.0 + 0.5);
        c = vec3(texelFetch(uGamma, ivec2(i.r, 0), 0).r, texelFetch(uGamma, ivec2(i.g, 0), 0).g,
                 texelFetch(uGamma, ivec2(i.b, 0), 0).b);
    }
    fragColor = vec4(c, 1.0);
}
)";

GLuint CompileShader(GLenum kind, const char* source) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        std::fprintf(stderr, "OpenGL shader: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource) {
    const GLuint vs = CompileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fs = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = 0;
    if (vs && fs) {
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetProgramInfoLog(program, sizeof(log), nullptr, log);
            std::fprintf(stderr, "OpenGL program: %s\n", log);
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return program;
}

// The states a scene program is built for. Values that cannot matter are
// zeroed (the arguments of a disabled operation, the stages after a
// disabled one), so combinations that draw alike share a program.
struct SceneKey {
    int32_t color[8];  // per stage: operation, argument 1, argument 2, coordinate set
    int32_t alpha[8];  // per stage: operation, argument 1, argument 2, 0
    int32_t hasTexture[2];
    // Per stage, border addressing the shader emulates: 1 across, 2 down.
    int32_t border[2];
    int32_t specular, fog;

    bool operator<(const SceneKey& other) const { return std::memcmp(this, &other, sizeof(SceneKey)) < 0; }
};

std::string SceneFragmentSource(const SceneKey& key) {
    char head[512];
    const int32_t* c = key.color;
    const int32_t* a = key.alpha;
    std::snprintf(head, sizeof(head),
                  VELMOR_GLSL_HEADER
                  "const ivec2 kHasTexture = ivec2(%d, %d);\n"
                  "const ivec4 kColorStage[2] = ivec4[2](ivec4(%d, %d, %d, %d), ivec4(%d, %d, %d, %d));\n"
                  "const ivec4 kAlphaStage[2] = ivec4[2](ivec4(%d, %d, %d, %d), ivec4(%d, %d, %d, %d));\n"
                  "const ivec2 kBorder = ivec2(%d, %d);\n"
                  "const int kSpecularEnable = %d;\n"
                  "const int kFogEnable = %d;\n",
                  key.hasTexture[0], key.hasTexture[1], c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], a[0], a[1],
                  a[2], a[3], a[4], a[5], a[6], a[7], key.border[0], key.border[1], key.specular, key.fog);
    return std::string(head) + kSceneFragmentShader;
}

// ---- State translation ---------------------------------------------------------

GLenum BlendFactor(uint32_t blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

GLint AddressMode(uint32_t address) {
    switch (address) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
#if VELMOR_GL_ES
        // WebGL 2 has no border colour: the scene shader gives it.
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_EDGE;
#else
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
#endif
        default: return GL_REPEAT;
    }
}

GLint MinFilter(uint32_t minFilter, uint32_t mipFilter) {
    const bool linear = minFilter == D3DTEXF_LINEAR;
    switch (mipFilter) {
        case D3DTEXF_POINT: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        case D3DTEXF_LINEAR: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        default: return linear ? GL_LINEAR : GL_NEAREST;
    }
}

bool IsIdentityRamp(const D3DGAMMARAMP& ramp) {
    for (uint32_t i = 0; i < 256; ++i) {
        const uint16_t value = static_cast<uint16_t>(i * 257);
        if (ramp.red[i] != value || ramp.green[i] != value || ramp.blue[i] != value) return false;
    }
    return true;
}

void ColorToFloats(uint32_t argb, float out[4]) {
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

// ---- Adapter probing -------------------------------------------------------------

uint32_t ReadHexFile(const char* path) {
    std::ifstream in(path);
    std::string text;
    if (!(in >> text)) return 0;
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

// Mesa's renderer query names the PCI ids of the GPU it drives (none for a
// software renderer); without the query, the first DRM card's ids.
void ReadPciIds(SDL_Window* window, uint32_t& vendor, uint32_t& device) {
    vendor = device = 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    // An OpenGL ES context may have been made through EGL instead of GLX.
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 && glXGetCurrentContext()) {
        Display* display = info.info.x11.display;
        if (epoxy_has_glx_extension(display, DefaultScreen(display), "GLX_MESA_query_renderer")) {
            unsigned int v = 0, d = 0;
            if (glXQueryCurrentRendererIntegerMESA(GLX_RENDERER_VENDOR_ID_MESA, &v) &&
                glXQueryCurrentRendererIntegerMESA(GLX_RENDERER_DEVICE_ID_MESA, &d) && v != 0xFFFFFFFFu) {
                vendor = v;
                device = d;
            }
            return;
        }
    }
#else
    (void)window;
#endif
    vendor = ReadHexFile("/sys/class/drm/card0/device/vendor");
    device = ReadHexFile("/sys/class/drm/card0/device/device");
}

D3DFORMAT DesktopFormat(Uint32 sdlFormat) {
    return SDL_BITSPERPIXEL(sdlFormat) == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
}

// Every mode is drawn into a framebuffer and scaled to the screen, so the
// common sizes up to the desktop's (and always 640x480 and 800x600) are
// offered in 16 and 32 bits, besides the desktop mode itself.
std::vector<D3DDISPLAYMODE> ListModes(const D3DDISPLAYMODE& desktop) {
    struct Size {
        uint32_t w, h;
    };
    const Size sizes[] = {{640, 480},  {800, 600},  {1024, 768}, {1280, 720},  {1280, 800},
                          {1280, 1024}, {1366, 768}, {1600, 900}, {1920, 1080}, {2560, 1440}};
    std::vector<D3DDISPLAYMODE> modes;
    bool desktopListed = false;
    for (const Size& s : sizes) {
        const bool fits = s.w <= desktop.Width && s.h <= desktop.Height;
        if (!fits && s.w > 800) continue;
        for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
            modes.push_back(D3DDISPLAYMODE{s.w, s.h, desktop.RefreshRate, format});
            if (s.w == desktop.Width && s.h == desktop.Height && format == desktop.Format) desktopListed = true;
        }
    }
    if (!desktopListed) modes.push_back(desktop);
    return modes;
}

class GlDirect3D final : public Direct3DBase {
public:
    static GlDirect3D* Create() {
        if (!platform::InitSdlVideo()) return nullptr;
        auto* d3d = new GlDirect3D();
        if (!d3d->Probe()) {
            d3d->Release();
            return nullptr;
        }
        return d3d;
    }
    ~GlDirect3D() override {
        if (m_spareContext) SDL_GL_DeleteContext(m_spareContext);
        platform::ReleaseProbeWindow();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // The probe's context, handed to the first device so that start-up
    // makes one context, not two; null once taken.
    SDL_GLContext TakeSpareContext() {
        SDL_GLContext context = m_spareContext;
        m_spareContext = nullptr;
        return context;
    }

protected:
    HRESULT NewDevice(platform::GameWindow* focusWindow, const D3DPRESENT_PARAMETERS& params,
                      IDirect3DDevice8** device) override;

private:
    // A hidden window and context answer what the adapter can do before
    // the game window exists.
    bool Probe() {
        platform::SetGlContextAttributes();
        SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return false;
        SDL_GLContext context = SDL_GL_CreateContext(window);
        if (!context) {
            SDL_DestroyWindow(window);
            return false;
        }
        SDL_GL_MakeCurrent(window, context);
        const bool ok = ReadAdapter(window);
        SDL_GL_MakeCurrent(window, nullptr);
        // The game window is made with the same attributes, so the context
        // can draw into it.
        if (ok) {
            m_spareContext = context;
            platform::KeepProbeWindow(window);
        } else {
            SDL_GL_DeleteContext(context);
            SDL_DestroyWindow(window);
        }
        return ok;
    }

    SDL_GLContext m_spareContext = nullptr;

    bool ReadAdapter(SDL_Window* window) {
#if VELMOR_GL_ES
        GLint major = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        if (major < 3) return false;
#else
        if (epoxy_gl_version() < 33) return false;
#endif
        auto text = [](GLenum name) {
            const GLubyte* value = glGetString(name);
            return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
        };
        m_adapter.identifier.Description = text(GL_RENDERER);
        m_adapter.identifier.Driver = text(GL_VERSION);
        ReadPciIds(window, m_adapter.identifier.VendorId, m_adapter.identifier.DeviceId);

        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) return false;
        m_adapter.desktop = D3DDISPLAYMODE{static_cast<uint32_t>(desktop.w), static_cast<uint32_t>(desktop.h),
                                           static_cast<uint32_t>(desktop.refresh_rate), DesktopFormat(desktop.format)};
        m_adapter.modes = ListModes(m_adapter.desktop);

        GLint maxTexture = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
        D3DCAPS8& caps = m_adapter.caps;
        caps.Caps2 = D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_FULLSCREENGAMMA;
        caps.RasterCaps = D3DPRASTERCAPS_FOGVERTEX;
        caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP;
        caps.TextureAddressCaps =
            D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER;
        caps.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                             D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_SUBTRACT |
                             D3DTEXOPCAPS_DOTPRODUCT3;
        caps.MaxTextureWidth = caps.MaxTextureHeight = static_cast<uint32_t>(maxTexture);
        // The shader emulates two stages.
        caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = 2;

#if VELMOR_GL_ES
        // Whatever the driver lacks is converted to RGBA bytes.
        m_adapter.textureUsable = [](D3DFORMAT, D3DFORMAT texture) { return ConvertsToRgba8(texture); };
#else
        std::set<D3DFORMAT> usable;
        for (const GlFormat& f : kGlFormats) usable.insert(f.d3d);
        if (HasS3tc())
            for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) usable.insert(f);
        m_adapter.textureUsable = [usable](D3DFORMAT, D3DFORMAT texture) { return usable.count(texture) > 0; };
#endif
        return true;
    }
};

// ---- The device --------------------------------------------------------------------

// A scene program and the uniform values it was last given, so unchanged
// values are not sent again.
struct SceneProgram {
    GLuint program = 0;
    GLint targetSize = -1, textureFactor = -1, fogColor = -1, borderColor[2] = {-1, -1};
    float shownTarget[2] = {-1.0f, -1.0f};
    uint32_t shownFactor = 0, shownFog = 0, shownBorder[2] = {0, 0};
    bool valuesSent = false;
};

struct PresentUniforms {
    GLint frame, gamma, applyGamma;
};

// What one stage of a draw reads.
struct StageSnapshot {
    uint32_t colorOp, colorArg1, colorArg2, texCoordIndex, alphaOp, alphaArg1, alphaArg2;
    uint32_t minFilter, magFilter, mipFilter, addressU, addressV, borderColor, unused;
    Texture* texture;
    uint64_t textureVersion;
};

// A clear or a draw with everything it reads, taken when it is issued: plain
// numbers, zeroed before filling, so two compare byte for byte. Resource
// versions are never reused, so equal snapshots read equal contents.
struct Command {
    enum Kind : uint32_t { kClear, kDraw };
    Kind kind;
    uint32_t clearColor;
    D3DRECT clearRect;
    uint32_t alphaBlend, srcBlend, destBlend, cullMode, specular, fog, fogColor, textureFactor;
    StageSnapshot stages[2];
    D3DVIEWPORT8 viewport;
    uint32_t stride, numVertices, startIndex, primCount, minIndex, unused;
    IndexBuffer* indices;
    uint64_t indicesVersion;
    // Where the draw's data lies in its frame's recording; equal commands of
    // two frames may lie in different places.
    size_t vertexOffset;  // into the frame's vertex bytes
    size_t indexOffset;   // into the frame's indices, primCount * 3 of them
};

static_assert(std::is_trivially_copyable_v<Command>, "commands are zeroed, copied and compared as bytes");

// The commands of one frame, the vertices and indices its draws read, and
// the pixels each command can change.
struct RecordedFrame {
    std::vector<Command> commands;
    std::vector<PixelRect> bounds;  // one per command
    std::vector<uint8_t> vertices;
    std::vector<uint16_t> indices;
    // The first command clears the whole back buffer, so the picture does
    // not depend on what the buffer held before.
    bool startsCleared = false;

    void Reset() {
        commands.clear();
        bounds.clear();
        vertices.clear();
        indices.clear();
        startsCleared = false;
    }

    const uint8_t* VerticesOf(const Command& c) const { return vertices.data() + c.vertexOffset; }
    const uint16_t* IndicesOf(const Command& c) const { return indices.data() + c.indexOffset; }
};

// The command with its place in the recording left out, to be compared.
Command WithoutOffsets(const Command& c) {
    Command bare = c;
    bare.vertexOffset = 0;
    bare.indexOffset = 0;
    return bare;
}

// Two commands, each with the data of its own frame, that draw the same.
bool SameCommand(const Command& a, const RecordedFrame& frameA, const Command& b, const RecordedFrame& frameB) {
    const Command bareA = WithoutOffsets(a), bareB = WithoutOffsets(b);
    if (std::memcmp(&bareA, &bareB, sizeof(Command)) != 0) return false;
    return a.kind == Command::kClear ||
           std::memcmp(frameA.VerticesOf(a), frameB.VerticesOf(b), static_cast<size_t>(a.numVertices) * a.stride) == 0;
}

// Two draws that differ at most in their vertices and how many triangles
// they draw (their indices are the same as far as both go).
bool SameButTriangles(const Command& a, const Command& b) {
    if (a.kind != Command::kDraw || b.kind != Command::kDraw) return false;
    Command bareA = WithoutOffsets(a), bareB = WithoutOffsets(b);
    bareA.numVertices = bareB.numVertices = 0;
    bareA.primCount = bareB.primCount = 0;
    return std::memcmp(&bareA, &bareB, sizeof(Command)) == 0;
}

// The pixels the vertices numbered in `which` can reach, pre-transformed
// positions first in each:
// a pixel of Direct3D is centred on its whole coordinates, and one more all
// round allows for any rounding. The whole clip when a position is not finite.
PixelRect VertexBounds(const uint8_t* vertices, const uint32_t* which, size_t count, uint32_t stride,
                       const PixelRect& clip) {
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (size_t i = 0; i < count; ++i) {
        float xy[2];
        std::memcpy(xy, vertices + static_cast<size_t>(which[i]) * stride, sizeof(xy));
        if (!std::isfinite(xy[0]) || !std::isfinite(xy[1]) || std::fabs(xy[0]) > 1e7f || std::fabs(xy[1]) > 1e7f)
            return clip;
        if (i == 0 || xy[0] < minX) minX = xy[0];
        if (i == 0 || xy[0] > maxX) maxX = xy[0];
        if (i == 0 || xy[1] < minY) minY = xy[1];
        if (i == 0 || xy[1] > maxY) maxY = xy[1];
    }
    if (count == 0) return PixelRect{};
    const PixelRect reach{static_cast<int>(std::floor(minX)) - 1, static_cast<int>(std::floor(minY)) - 1,
                          static_cast<int>(std::ceil(maxX)) + 2, static_cast<int>(std::ceil(maxY)) + 2};
    return reach.Intersection(clip);
}

// The vertices of triangle t of a draw, counted from its lowest index; false
// when an index lies outside the draw's vertices.
bool TriangleCorners(const RecordedFrame& frame, const Command& c, uint32_t t, uint32_t corners[3]) {
    const uint16_t* indices = frame.IndicesOf(c) + static_cast<size_t>(t) * 3;
    for (int k = 0; k < 3; ++k) {
        if (indices[k] < c.minIndex || indices[k] - c.minIndex >= c.numVertices) return false;
        corners[k] = indices[k] - c.minIndex;
    }
    return true;
}

// The pixels a draw can change: those its triangles reach within its clip.
PixelRect DrawBounds(const RecordedFrame& frame, const Command& c, const PixelRect& clip) {
    PixelRect bounds;
    for (uint32_t t = 0; t < c.primCount; ++t) {
        uint32_t corners[3];
        if (!TriangleCorners(frame, c, t, corners)) return clip;
        bounds = bounds.Union(VertexBounds(frame.VerticesOf(c), corners, 3, c.stride, clip));
    }
    return bounds;
}

// Of two draws that differ only in their triangles (SameButTriangles), the
// pixels of the triangles that differ, in either: any other pixel is reached
// by the same triangles in the same order.
void AddChangedTriangles(const RecordedFrame& frameA, const Command& a, const RecordedFrame& frameB, const Command& b,
                         const PixelRect& clip, DamageRegion& damage) {
    const uint32_t count = std::max(a.primCount, b.primCount);
    for (uint32_t t = 0; t < count; ++t) {
        uint32_t cornersA[3], cornersB[3];
        const bool inA = t < a.primCount, inB = t < b.primCount;
        const bool readA = inA && TriangleCorners(frameA, a, t, cornersA);
        const bool readB = inB && TriangleCorners(frameB, b, t, cornersB);
        if (readA && readB) {
            bool same = true;
            for (int k = 0; k < 3 && same; ++k)
                same = std::memcmp(frameA.VerticesOf(a) + static_cast<size_t>(cornersA[k]) * a.stride,
                                   frameB.VerticesOf(b) + static_cast<size_t>(cornersB[k]) * b.stride, a.stride) == 0;
            if (same) continue;
        }
        if (inA) damage.Add(readA ? VertexBounds(frameA.VerticesOf(a), cornersA, 3, a.stride, clip) : clip);
        if (inB) damage.Add(readB ? VertexBounds(frameB.VerticesOf(b), cornersB, 3, b.stride, clip) : clip);
    }
}

// Where two frames' pictures can differ when each is made from nothing by
// its commands (both start with a whole clear). Commands equal in both, in
// the same order (a common start and end), are matched; so is each pair at
// the same place between, where both are draws that differ only in their
// triangles. A pixel that no unmatched command or changed triangle reaches
// sees the same commands in both frames and so has the same value.
void AddFrameDifference(const RecordedFrame& now, const RecordedFrame& before, DamageRegion& damage) {
    const size_t n = now.commands.size(), m = before.commands.size();
    size_t common = 0;
    while (common < n && common < m &&
           SameCommand(now.commands[common], now, before.commands[common], before))
        ++common;
    size_t tail = 0;
    while (tail < n - common && tail < m - common &&
           SameCommand(now.commands[n - 1 - tail], now, before.commands[m - 1 - tail], before))
        ++tail;
    for (size_t k = common; k < n - tail || k < m - tail; ++k) {
        const bool inNow = k < n - tail, inBefore = k < m - tail;
        if (inNow && inBefore && SameButTriangles(now.commands[k], before.commands[k])) {
            // Equal viewports: the same clip.
            AddChangedTriangles(now, now.commands[k], before, before.commands[k],
                                now.bounds[k].Union(before.bounds[k]), damage);
            continue;
        }
        if (inNow) damage.Add(now.bounds[k]);
        if (inBefore) damage.Add(before.bounds[k]);
    }
}

class GlDevice final : public DeviceBase {
public:
    GlDevice(Direct3DBase& d3d, const D3DPRESENT_PARAMETERS& params, SDL_Window* window, SDL_GLContext context)
        : DeviceBase(d3d, params), m_window(window), m_context(context) {}

    ~GlDevice() override {
        platform::RemoveRawEventListener(m_listener);
        if (!m_context) return;
        SDL_GL_MakeCurrent(m_window, m_context);
        DeleteTargets();
        glDeleteTextures(1, &m_gammaTexture);
        glDeleteSamplers(2, m_samplers);
        glDeleteBuffers(1, &m_vertexBuffer);
#if VELMOR_GL_ES
        glDeleteBuffers(1, &m_rebasedIndexBuffer);
#endif
        glDeleteVertexArrays(1, &m_sceneVao);
        glDeleteVertexArrays(1, &m_presentVao);
        for (auto& entry : m_scenePrograms) glDeleteProgram(entry.second.program);
        glDeleteProgram(m_presentProgram);
        SDL_GL_DeleteContext(m_context);
    }

    // Opens on the context given (the probe's), or on a new one when there
    // is none or it cannot draw into the window.
    HRESULT Open() {
        if (m_context && SDL_GL_MakeCurrent(m_window, m_context) != 0) {
            SDL_GL_DeleteContext(m_context);
            m_context = nullptr;
        }
        if (!m_context) {
            m_context = SDL_GL_CreateContext(m_window);
            if (!m_context) return D3DERR_NOTAVAILABLE;
            SDL_GL_MakeCurrent(m_window, m_context);
        }

        glGenVertexArrays(1, &m_sceneVao);
        glGenVertexArrays(1, &m_presentVao);
        glGenBuffers(1, &m_vertexBuffer);
        glGenSamplers(2, m_samplers);
#if VELMOR_GL_ES
        glGenBuffers(1, &m_rebasedIndexBuffer);
        m_s3tc = HasS3tc();
#endif
        glGenTextures(1, &m_gammaTexture);
        glBindTexture(GL_TEXTURE_2D, m_gammaTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glDisable(GL_DEPTH_TEST);

        FindWindowUpdates();
        const HRESULT hr = CreateTargets(m_params);
        if (FAILED(hr)) return hr;
        m_listener = platform::AddRawEventListener([this](const SDL_Event& event) { OnWindowEvent(event); });
        return D3D_OK;
    }

    void RequestCapture(WindowCapture* capture) { m_capture = capture; }
    uint64_t ShownFrames() const { return m_shownFrames; }

protected:
    HRESULT OnReset(const D3DPRESENT_PARAMETERS& params) override {
        SDL_GL_MakeCurrent(m_window, m_context);
        m_current.Reset();
        m_previous.Reset();
        m_previousShown = false;
        m_drawingAhead = false;
        m_windowStale = true;
        DeleteTargets();
        return CreateTargets(params);
    }

    void OnClear(const D3DRECT& rect, uint32_t color) override {
        Command command;
        std::memset(static_cast<void*>(&command), 0, sizeof(command));
        command.kind = Command::kClear;
        command.clearRect = rect;
        command.clearColor = color;
        Record(command, nullptr, 0);
    }

    void OnDraw(const DrawCall& call) override {
        Command command = Snapshot(call);
        const uint8_t* first =
            m_state.stream->Bytes() + static_cast<size_t>(m_state.baseVertexIndex + call.minIndex) * m_state.stride;
        Record(command, first, static_cast<size_t>(call.numVertices) * m_state.stride);
    }

    // The frame is drawn where its picture can differ from the last shown
    // one, and shown when it differs or the window needs its picture back.
    void OnPresent() override {
        MakeCurrent();
        const DamageRegion damage = FrameDamage();
        const bool gammaChanged = std::memcmp(&m_shownGamma, &m_state.gamma, sizeof(m_shownGamma)) != 0;
        const bool windowWhole = m_windowStale || gammaChanged || m_capture || !TracksDamage();
        const bool shown = !damage.Empty() || windowWhole;
        if (shown) {
            DrawHeld(damage);
            // The frame just drawn becomes the front buffer; the old front is
            // the next back buffer and lags it where this frame changed.
            std::swap(m_backTexture, m_frontTexture);
            std::swap(m_backFramebuffer, m_frontFramebuffer);
            m_backBehind = damage;
            ShowInWindow(damage, windowWhole);
            ++m_shownFrames;
            m_windowStale = false;
            m_shownGamma = m_state.gamma;
        }
        // The last shown picture is described by this frame's commands
        // unless they only drew nothing over it.
        if (shown || m_current.startsCleared) std::swap(m_current, m_previous);
        m_current.Reset();
        m_previousShown = true;
        m_drawingAhead = false;
#if defined(__EMSCRIPTEN__)
        // The browser shows the canvas when it gets control back, once per
        // display refresh: that is the vsync of a page.
        platform::WaitForAnimationFrame();
#endif
    }

    // Adaptive vsync first: a late frame is shown at once instead of a whole
    // refresh later. An answer is believed only when the interval reads back.
    bool OnRequestVsync(bool wanted) override {
#if defined(__EMSCRIPTEN__)
        return wanted;
#endif
        SDL_GL_MakeCurrent(m_window, m_context);
        m_vsync = false;
        if (!wanted) {
            SDL_GL_SetSwapInterval(0);
            return false;
        }
        if (SDL_GL_SetSwapInterval(-1) == 0 && SDL_GL_GetSwapInterval() == -1) m_vsync = true;
        else m_vsync = SDL_GL_SetSwapInterval(1) == 0 && SDL_GL_GetSwapInterval() == 1;
        return m_vsync;
    }

    void OnReadFrontBuffer(uint8_t* pixels, uint32_t pitch) override {
        MakeCurrent();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_frontFramebuffer);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(pitch / 4));
        ReadArgb(static_cast<GLsizei>(m_params.BackBufferWidth), static_cast<GLsizei>(m_params.BackBufferHeight),
                 pixels, pitch);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        // The screen has no alpha: every pixel reads opaque.
        for (uint32_t y = 0; y < m_params.BackBufferHeight; ++y)
            for (uint32_t x = 0; x < m_params.BackBufferWidth; ++x) pixels[y * pitch + x * 4 + 3] = 0xFF;
    }

    // Reads the bound read framebuffer as A8R8G8B8 pixels into rows `pitch`
    // bytes apart (the pack row length the caller set).
    static void ReadArgb(GLsizei width, GLsizei height, uint8_t* pixels, size_t pitch) {
#if VELMOR_GL_ES
        // OpenGL ES reads R, G, B, A bytes; A8R8G8B8 is B, G, R, A in memory.
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        for (GLsizei y = 0; y < height; ++y) {
            uint8_t* row = pixels + static_cast<size_t>(y) * pitch;
            for (GLsizei x = 0; x < width; ++x) std::swap(row[x * 4], row[x * 4 + 2]);
        }
#else
        (void)pitch;
        glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
#endif
    }

    void OnContentsChanging(ResourceBase& resource) override { FlushPendingReading(resource); }

    void OnResourceDestroyed(ResourceBase& resource) override {
        FlushPendingReading(resource);
        if (resource.backendName == 0) return;
        MakeCurrent();
        if (dynamic_cast<Texture*>(&resource)) {
            glDeleteTextures(1, &resource.backendName);
        } else {
            glDeleteBuffers(1, &resource.backendName);
        }
        resource.backendName = 0;
    }

private:
    // Scene programs are built the first time their states are drawn with
    // and kept for the life of the device.
    SceneProgram* SceneProgramFor(const SceneKey& key) {
        auto found = m_scenePrograms.find(key);
        if (found != m_scenePrograms.end()) return &found->second;
        SceneProgram entry;
        entry.program = LinkProgram(kSceneVertexShader, SceneFragmentSource(key).c_str());
        if (!entry.program) return nullptr;
        entry.targetSize = glGetUniformLocation(entry.program, "uTargetSize");
        entry.textureFactor = glGetUniformLocation(entry.program, "uTextureFactor");
        entry.fogColor = glGetUniformLocation(entry.program, "uFogColor");
        entry.borderColor[0] = glGetUniformLocation(entry.program, "uBorderColor[0]");
        entry.borderColor[1] = glGetUniformLocation(entry.program, "uBorderColor[1]");
        glUseProgram(entry.program);
        glUniform1i(glGetUniformLocation(entry.program, "uTexture0"), 0);
        glUniform1i(glGetUniformLocation(entry.program, "uTexture1"), 1);
        return &m_scenePrograms.emplace(key, entry).first->second;
    }

    // The present program is built on the first present that scales the
    // picture or applies the gamma ramp.
    bool PresentProgramReady() {
        if (m_presentProgram) return true;
        m_presentProgram = LinkProgram(kPresentVertexShader, kPresentFragmentShader);
        if (!m_presentProgram) return false;
        m_present = PresentUniforms{glGetUniformLocation(m_presentProgram, "uFrame"),
                                    glGetUniformLocation(m_presentProgram, "uGamma"),
                                    glGetUniformLocation(m_presentProgram, "uApplyGamma")};
        glUseProgram(m_presentProgram);
        glUniform1i(m_present.frame, 0);
        glUniform1i(m_present.gamma, 1);
        return true;
    }

    // The back and front buffers: framebuffers of the mode's size and format.
    HRESULT CreateTargets(const D3DPRESENT_PARAMETERS& params) {
        const GLsizei w = static_cast<GLsizei>(params.BackBufferWidth);
        const GLsizei h = static_cast<GLsizei>(params.BackBufferHeight);
        GLenum internal = GL_RGBA8;
        m_backHasAlpha = params.BackBufferFormat == D3DFMT_A8R8G8B8;
        if (params.BackBufferFormat == D3DFMT_R5G6B5) internal = GL_RGB565;
        if (params.BackBufferFormat == D3DFMT_X1R5G5B5 || params.BackBufferFormat == D3DFMT_A1R5G5B5)
            internal = GL_RGB5_A1;
        if (!MakeTarget(internal, w, h, m_backTexture, m_backFramebuffer)) {
            // Not every driver renders to 16-bit formats; 32 bits hold them.
            DeleteTargets();
            internal = GL_RGBA8;
            if (!MakeTarget(internal, w, h, m_backTexture, m_backFramebuffer)) return D3DERR_NOTAVAILABLE;
        }
        if (!MakeTarget(internal, w, h, m_frontTexture, m_frontFramebuffer)) return D3DERR_NOTAVAILABLE;
        // A straight copy to the window gives the same pixels as the present
        // shader when both hold 8-bit channels and the window keeps no alpha.
        int windowAlphaBits = -1;
        m_windowTakesCopy = internal == GL_RGBA8 && SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &windowAlphaBits) == 0 &&
                            windowAlphaBits == 0;
        for (GLuint framebuffer : {m_backFramebuffer, m_frontFramebuffer}) {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glDisable(GL_SCISSOR_TEST);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        m_backBehind = DamageRegion(w, h);
        m_uploadedGamma = false;
        UpdateGeometry();
        return D3D_OK;
    }

    static bool MakeTarget(GLenum internal, GLsizei w, GLsizei h, GLuint& texture, GLuint& framebuffer) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        // OpenGL ES takes only the data format that matches the internal one.
        const GLenum format = internal == GL_RGB565 ? GL_RGB : GL_RGBA;
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), w, h, 0, format, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    void DeleteTargets() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        GLuint framebuffers[] = {m_backFramebuffer, m_frontFramebuffer};
        GLuint textures[] = {m_backTexture, m_frontTexture};
        glDeleteFramebuffers(2, framebuffers);
        glDeleteTextures(2, textures);
        m_backFramebuffer = m_frontFramebuffer = m_backTexture = m_frontTexture = 0;
    }

    void UpdateGeometry() {
        int w = 0, h = 0;
        SDL_GetWindowSize(m_window, &w, &h);
        platform::SetPresentationGeometry(w, h, static_cast<int>(m_params.BackBufferWidth),
                                          static_cast<int>(m_params.BackBufferHeight));
    }

    // Full-screen only: a minimised or hidden window loses the device; it can
    // be reset once the window is back.
    void OnWindowEvent(const SDL_Event& event) {
        if (event.type != SDL_WINDOWEVENT || event.window.windowID != SDL_GetWindowID(m_window)) return;
        switch (event.window.event) {
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN:
                if (!m_params.Windowed) MarkLost();
                break;
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_MAXIMIZED:
                MarkResettable();
                m_windowStale = true;
                break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                UpdateGeometry();
                m_windowStale = true;
                break;
            case SDL_WINDOWEVENT_EXPOSED:
                m_windowStale = true;
                break;
            default:
                break;
        }
    }

    Command Snapshot(const DrawCall& call) const {
        Command c;
        std::memset(static_cast<void*>(&c), 0, sizeof(c));
        c.kind = Command::kDraw;
        const uint32_t* rs = m_state.renderStates;
        c.alphaBlend = rs[D3DRS_ALPHABLENDENABLE];
        c.srcBlend = rs[D3DRS_SRCBLEND];
        c.destBlend = rs[D3DRS_DESTBLEND];
        c.cullMode = rs[D3DRS_CULLMODE];
        c.specular = rs[D3DRS_SPECULARENABLE];
        c.fog = rs[D3DRS_FOGENABLE];
        c.fogColor = rs[D3DRS_FOGCOLOR];
        c.textureFactor = rs[D3DRS_TEXTUREFACTOR];
        for (uint32_t stage = 0; stage < 2; ++stage) {
            const uint32_t* ss = m_state.stageStates[stage];
            StageSnapshot& out = c.stages[stage];
            out.colorOp = ss[D3DTSS_COLOROP];
            out.colorArg1 = ss[D3DTSS_COLORARG1];
            out.colorArg2 = ss[D3DTSS_COLORARG2];
            out.texCoordIndex = ss[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
            out.alphaOp = ss[D3DTSS_ALPHAOP];
            out.alphaArg1 = ss[D3DTSS_ALPHAARG1];
            out.alphaArg2 = ss[D3DTSS_ALPHAARG2];
            out.minFilter = ss[D3DTSS_MINFILTER];
            out.magFilter = ss[D3DTSS_MAGFILTER];
            out.mipFilter = ss[D3DTSS_MIPFILTER];
            out.addressU = ss[D3DTSS_ADDRESSU];
            out.addressV = ss[D3DTSS_ADDRESSV];
            out.borderColor = ss[D3DTSS_BORDERCOLOR];
            out.texture = m_state.textures[stage];
            out.textureVersion = out.texture ? out.texture->Version() : 0;
        }
        c.viewport = m_state.viewport;
        c.stride = m_state.stride;
        c.numVertices = call.numVertices;
        c.startIndex = call.startIndex;
        c.primCount = call.primCount;
        c.minIndex = call.minIndex;
        c.indices = m_state.indices;
        c.indicesVersion = m_state.indices->Version();
        return c;
    }

    // Each device draws in its own context, whichever device drew last.
    void MakeCurrent() {
        if (SDL_GL_GetCurrentContext() != m_context) SDL_GL_MakeCurrent(m_window, m_context);
    }

    bool TracksDamage() const { return g_trackDamage && g_skipRepeatedFrames; }

    // Commands are held until the present, which knows where the frame has
    // to be drawn; once a resource they read is about to change, they are
    // drawn at once, and so is the rest of the frame.
    void Record(Command& command, const uint8_t* vertices, size_t size) {
        RecordedFrame& frame = m_current;
        if (frame.commands.empty())
            frame.startsCleared = command.kind == Command::kClear && CoversBackBuffer(command.clearRect);
        command.vertexOffset = frame.vertices.size();
        frame.vertices.insert(frame.vertices.end(), vertices, vertices + size);
        command.indexOffset = frame.indices.size();
        if (command.kind == Command::kDraw) {
            const size_t count = static_cast<size_t>(command.primCount) * 3;
            frame.indices.resize(command.indexOffset + count);
            std::memcpy(frame.indices.data() + command.indexOffset,
                        command.indices->Bytes() + static_cast<size_t>(command.startIndex) * 2, count * 2);
        }
        frame.commands.push_back(command);
        frame.bounds.push_back(command.kind == Command::kClear ? ClearBounds(command)
                                                               : DrawBounds(frame, command, ViewportBounds(command)));
        if (m_drawingAhead) {
            MakeCurrent();
            Execute(frame.commands.back(), WholeBuffer());
        }
    }

    // Where this frame's picture can differ from the last shown one.
    DamageRegion FrameDamage() const {
        DamageRegion damage(BufferWidth(), BufferHeight());
        if (!TracksDamage() || !m_previousShown || (m_current.startsCleared && !m_previous.startsCleared)) {
            damage.AddWhole();
        } else if (!m_current.startsCleared) {
            // Drawn over the last shown picture: only what it draws changes.
            for (const PixelRect& bounds : m_current.bounds) damage.Add(bounds);
        } else {
            AddFrameDifference(m_current, m_previous, damage);
        }
        return damage;
    }

    // The frame's held commands, each only where it meets the damage.
    void DrawHeld(const DamageRegion& damage) {
        if (m_drawingAhead) return;
        if (!(m_current.startsCleared && damage.Whole())) TakeFrontPicture();
        for (const PixelRect& area : damage.Rects()) {
            for (size_t i = 0; i < m_current.commands.size(); ++i)
                if (!m_current.bounds[i].Intersection(area).Empty()) Execute(m_current.commands[i], area);
        }
    }

    // A resource about to change or go away: if held commands read it, they
    // are drawn now, while it still holds what they read.
    void FlushPendingReading(const ResourceBase& resource) {
        if (m_drawingAhead) return;
        for (const Command& c : m_current.commands) {
            const bool reads = c.kind == Command::kDraw &&
                               (c.indices == &resource || c.stages[0].texture == &resource ||
                                c.stages[1].texture == &resource);
            if (reads) {
                m_drawingAhead = true;
                MakeCurrent();
                TakeFrontPicture();
                for (const Command& held : m_current.commands) Execute(held, WholeBuffer());
                return;
            }
        }
    }

    int BufferWidth() const { return static_cast<int>(m_params.BackBufferWidth); }
    int BufferHeight() const { return static_cast<int>(m_params.BackBufferHeight); }
    PixelRect WholeBuffer() const { return PixelRect{0, 0, BufferWidth(), BufferHeight()}; }

    PixelRect ClearBounds(const Command& c) const {
        const D3DRECT& r = c.clearRect;
        return PixelRect{r.x1, r.y1, r.x2, r.y2}.Intersection(WholeBuffer());
    }

    PixelRect ViewportBounds(const Command& c) const {
        const D3DVIEWPORT8& vp = c.viewport;
        const auto clamp = [](uint64_t v) { return static_cast<int>(std::min<uint64_t>(v, 1u << 20)); };
        return PixelRect{clamp(vp.X), clamp(vp.Y), clamp(uint64_t{vp.X} + vp.Width), clamp(uint64_t{vp.Y} + vp.Height)}
            .Intersection(WholeBuffer());
    }

    bool CoversBackBuffer(const D3DRECT& r) const {
        return r.x1 <= 0 && r.y1 <= 0 && r.x2 >= static_cast<int32_t>(m_params.BackBufferWidth) &&
               r.y2 >= static_cast<int32_t>(m_params.BackBufferHeight);
    }

    // The back buffer keeps the last shown picture across a present, as a
    // copy swap does: where it lags the front buffer, it takes the front's
    // pixels before anything is drawn on it.
    void TakeFrontPicture() {
        glDisable(GL_SCISSOR_TEST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_frontFramebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_backFramebuffer);
        for (const PixelRect& r : m_backBehind.Rects())
            glBlitFramebuffer(r.x0, r.y0, r.x1, r.y1, r.x0, r.y0, r.x1, r.y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        m_backBehind.Clear();
    }

    // Draws the command, its pixels cut to `area`.
    void Execute(const Command& c, const PixelRect& area) {
        if (c.kind == Command::kClear) {
            ExecuteClear(c, area);
        } else {
            ExecuteDraw(c, area);
        }
    }

    static void Scissor(const PixelRect& r) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(r.x0, r.y0, std::max(r.x1 - r.x0, 0), std::max(r.y1 - r.y0, 0));
    }

    void ExecuteClear(const Command& c, const PixelRect& area) {
        const PixelRect target = ClearBounds(c).Intersection(area);
        if (target.Empty()) return;
        float rgba[4];
        ColorToFloats(c.clearColor, rgba);
        glBindFramebuffer(GL_FRAMEBUFFER, m_backFramebuffer);
        Scissor(target);
        // A back buffer without alpha reads as opaque when blending.
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(rgba[0], rgba[1], rgba[2], m_backHasAlpha ? rgba[3] : 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void ExecuteDraw(const Command& c, const PixelRect& area) {
        const PixelRect target = ViewportBounds(c).Intersection(area);
        if (target.Empty()) return;
        glBindFramebuffer(GL_FRAMEBUFFER, m_backFramebuffer);
        glViewport(0, 0, BufferWidth(), BufferHeight());
        Scissor(target);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, m_backHasAlpha ? GL_TRUE : GL_FALSE);
        ApplyBlending(c);
        ApplyCulling(c);
        if (!ApplyStages(c)) return;
        BindVertices(c);
        DrawIndexed(c);
    }

    // The vertices sent start at the draw's lowest index.
    void DrawIndexed(const Command& c) {
        const GLsizei count = static_cast<GLsizei>(c.primCount * 3);
        const void* first = reinterpret_cast<const void*>(static_cast<uintptr_t>(c.startIndex) * 2);
#if VELMOR_GL_ES
        if (c.minIndex == 0) {
            BindIndices(*c.indices);
            glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, first);
            return;
        }
        // OpenGL ES has no base vertex: the draw's indices, less its lowest,
        // go in a buffer of their own.
        m_rebasedIndices.resize(static_cast<size_t>(count));
        std::memcpy(m_rebasedIndices.data(), c.indices->Bytes() + static_cast<size_t>(c.startIndex) * 2,
                    m_rebasedIndices.size() * 2);
        for (uint16_t& index : m_rebasedIndices) index = static_cast<uint16_t>(index - c.minIndex);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_rebasedIndexBuffer);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_rebasedIndices.size() * 2),
                     m_rebasedIndices.data(), GL_STREAM_DRAW);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, nullptr);
#else
        BindIndices(*c.indices);
        glDrawElementsBaseVertex(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, first, -static_cast<GLint>(c.minIndex));
#endif
    }

    void ApplyBlending(const Command& c) {
        if (c.alphaBlend) {
            glEnable(GL_BLEND);
            glBlendEquation(GL_FUNC_ADD);
            glBlendFunc(BlendFactor(c.srcBlend), BlendFactor(c.destBlend));
        } else {
            glDisable(GL_BLEND);
        }
    }

    // The back buffer's rows run top down, the mirror of OpenGL's window
    // space, so a triangle Direct3D sees counter-clockwise is clockwise here:
    // culling Direct3D's counter-clockwise faces culls OpenGL's back faces.
    void ApplyCulling(const Command& c) {
        if (c.cullMode == D3DCULL_CCW || c.cullMode == D3DCULL_CW) {
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(c.cullMode == D3DCULL_CCW ? GL_BACK : GL_FRONT);
        } else {
            glDisable(GL_CULL_FACE);
        }
    }

    // Binds the program built for the draw's stage states and sends the
    // uniform values that changed; false when no program can be built.
    bool ApplyStages(const Command& c) {
        SceneKey key;
        std::memset(static_cast<void*>(&key), 0, sizeof(key));
        for (uint32_t stage = 0; stage < 2; ++stage) {
            const StageSnapshot& ss = c.stages[stage];
            const bool hasTexture = BindTexture(stage, ss);
            // Stage 1 counts only after an enabled stage 0.
            if (ss.colorOp == D3DTOP_DISABLE || (stage == 1 && c.stages[0].colorOp == D3DTOP_DISABLE)) continue;
            int32_t* color = &key.color[stage * 4];
            int32_t* alpha = &key.alpha[stage * 4];
            color[0] = static_cast<int32_t>(ss.colorOp);
            color[1] = static_cast<int32_t>(ss.colorArg1);
            color[2] = static_cast<int32_t>(ss.colorArg2);
            color[3] = ss.texCoordIndex == 1 ? 1 : 0;
            alpha[0] = static_cast<int32_t>(ss.alphaOp);
            if (ss.alphaOp != D3DTOP_DISABLE) {
                alpha[1] = static_cast<int32_t>(ss.alphaArg1);
                alpha[2] = static_cast<int32_t>(ss.alphaArg2);
            }
            key.hasTexture[stage] = hasTexture ? 1 : 0;
#if VELMOR_GL_ES
            if (hasTexture)
                key.border[stage] =
                    (ss.addressU == D3DTADDRESS_BORDER ? 1 : 0) | (ss.addressV == D3DTADDRESS_BORDER ? 2 : 0);
#endif
        }
        if (c.stages[0].colorOp == D3DTOP_DISABLE) key.color[0] = D3DTOP_DISABLE;
        else if (c.stages[1].colorOp == D3DTOP_DISABLE) key.color[4] = D3DTOP_DISABLE;
        key.specular = c.specular ? 1 : 0;
        key.fog = c.fog ? 1 : 0;
        SceneProgram* program = SceneProgramFor(key);
        if (!program) return false;
        glUseProgram(program->program);
        const float size[2] = {static_cast<float>(m_params.BackBufferWidth),
                               static_cast<float>(m_params.BackBufferHeight)};
        if (!program->valuesSent || std::memcmp(size, program->shownTarget, sizeof(size)) != 0) {
            glUniform2fv(program->targetSize, 1, size);
            std::memcpy(program->shownTarget, size, sizeof(size));
        }
        if (!program->valuesSent || program->shownFactor != c.textureFactor) {
            float factor[4];
            ColorToFloats(c.textureFactor, factor);
            glUniform4fv(program->textureFactor, 1, factor);
            program->shownFactor = c.textureFactor;
        }
        if (!program->valuesSent || program->shownFog != c.fogColor) {
            float fog[4];
            ColorToFloats(c.fogColor, fog);
            glUniform3fv(program->fogColor, 1, fog);
            program->shownFog = c.fogColor;
        }
        for (GLint stage = 0; stage < 2; ++stage) {
            const uint32_t border = c.stages[stage].borderColor;
            if (key.border[stage] == 0 || (program->valuesSent && program->shownBorder[stage] == border)) continue;
            float color[4];
            ColorToFloats(border, color);
            glUniform4fv(program->borderColor[stage], 1, color);
            program->shownBorder[stage] = border;
        }
        program->valuesSent = true;
        return true;
    }

    bool BindTexture(uint32_t stage, const StageSnapshot& ss) {
        glActiveTexture(GL_TEXTURE0 + stage);
        Texture* texture = ss.texture;
        if (!texture) {
            glBindTexture(GL_TEXTURE_2D, 0);
            return false;
        }
        UploadTexture(*texture);
        glBindTexture(GL_TEXTURE_2D, texture->backendName);
        const GLuint sampler = m_samplers[stage];
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, MinFilter(ss.minFilter, ss.mipFilter));
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, ss.magFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, AddressMode(ss.addressU));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, AddressMode(ss.addressV));
#if !VELMOR_GL_ES
        float border[4];
        ColorToFloats(ss.borderColor, border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
#endif
        glBindSampler(stage, sampler);
        return true;
    }

    void UploadTexture(Texture& texture) {
        if (texture.backendName != 0 && texture.backendVersion == texture.Version()) return;
        if (texture.backendName == 0) glGenTextures(1, &texture.backendName);
        glBindTexture(GL_TEXTURE_2D, texture.backendName);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        const D3DFORMAT format = texture.Format();
        const std::vector<PixelLevel>& levels = texture.Levels();
#if VELMOR_GL_ES
        const bool compressed = m_s3tc && S3tcFormat(format) != 0 && WholeBlockLevels(levels);
        std::vector<uint8_t> rgba;
        for (size_t i = 0; i < levels.size(); ++i) {
            const PixelLevel& level = levels[i];
            const GLint index = static_cast<GLint>(i);
            const GLsizei w = static_cast<GLsizei>(level.width), h = static_cast<GLsizei>(level.height);
            if (compressed) {
                glCompressedTexImage2D(GL_TEXTURE_2D, index, S3tcFormat(format), w, h, 0,
                                       static_cast<GLsizei>(level.bytes.size()), level.bytes.data());
            } else if (ConvertToRgba8(format, level.width, level.height, level.bytes.data(), level.bytes.size(),
                                      rgba)) {
                glTexImage2D(GL_TEXTURE_2D, index, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            }
        }
#else
        const GlFormat* plain = FindGlFormat(format);
        for (size_t i = 0; i < levels.size(); ++i) {
            const PixelLevel& level = levels[i];
            const GLint index = static_cast<GLint>(i);
            const GLsizei w = static_cast<GLsizei>(level.width), h = static_cast<GLsizei>(level.height);
            if (plain) {
                glTexImage2D(GL_TEXTURE_2D, index, static_cast<GLint>(plain->internalFormat), w, h, 0,
                             plain->format, plain->type, level.bytes.data());
            } else {
                glCompressedTexImage2D(GL_TEXTURE_2D, index, S3tcFormat(format), w, h, 0,
                                       static_cast<GLsizei>(level.bytes.size()), level.bytes.data());
            }
        }
        if (plain) glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, plain->swizzle);
#endif
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size()) - 1);
        texture.backendVersion = texture.Version();
    }

#if VELMOR_GL_ES
    // WebGL takes S3TC levels in whole blocks: the first a multiple of four
    // texels each way, the smaller ones also 1 or 2.
    static bool WholeBlockLevels(const std::vector<PixelLevel>& levels) {
        for (size_t i = 0; i < levels.size(); ++i) {
            for (uint32_t edge : {levels[i].width, levels[i].height})
                if (edge % 4 != 0 && (i == 0 || edge > 2)) return false;
        }
        return true;
    }
#endif

    void BindVertices(const Command& c) {
        const uint32_t stride = c.stride;
        const uint8_t* first = m_current.vertices.data() + c.vertexOffset;
        glBindVertexArray(m_sceneVao);
        glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
        // A fresh store each draw, so the driver never waits on the last one.
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(c.numVertices) * stride, first, GL_STREAM_DRAW);
        const GLsizei s = static_cast<GLsizei>(stride);
        auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, s, at(0));
        // Colours: B, G, R, A bytes, put in order by the vertex shader.
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, s, at(16));
        glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, s, at(20));
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, s, at(24));
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, s, at(32));
        for (GLuint i = 0; i < 5; ++i) glEnableVertexAttribArray(i);
    }

    void BindIndices(IndexBuffer& indices) {
        if (indices.backendName == 0) glGenBuffers(1, &indices.backendName);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices.backendName);
        if (indices.backendVersion != indices.Version()) {
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, indices.Length(), indices.Bytes(), GL_STATIC_DRAW);
            indices.backendVersion = indices.Version();
        }
    }

    // Binds the gamma lookup to unit 1, where the scene's stage 1 texture
    // also goes, and uploads the ramp when it has changed.
    void BindGamma() {
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, m_gammaTexture);
        if (m_uploadedGamma && std::memcmp(&m_gamma, &m_state.gamma, sizeof(m_gamma)) == 0) return;
        m_gamma = m_state.gamma;
#if VELMOR_GL_ES
        // OpenGL ES has no 16-bit normalized textures; floats hold the
        // ramp's values exactly as fractions of 65535.
        float rgb[256 * 3];
        for (int i = 0; i < 256; ++i) {
            rgb[i * 3 + 0] = static_cast<float>(m_gamma.red[i]) / 65535.0f;
            rgb[i * 3 + 1] = static_cast<float>(m_gamma.green[i]) / 65535.0f;
            rgb[i * 3 + 2] = static_cast<float>(m_gamma.blue[i]) / 65535.0f;
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, 256, 1, 0, GL_RGB, GL_FLOAT, rgb);
#else
        uint16_t rgb[256 * 3];
        for (int i = 0; i < 256; ++i) {
            rgb[i * 3 + 0] = m_gamma.red[i];
            rgb[i * 3 + 1] = m_gamma.green[i];
            rgb[i * 3 + 2] = m_gamma.blue[i];
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, rgb);
#endif
        m_uploadedGamma = true;
    }

    // How the window system is handed a frame, found once the context is
    // current: parts of the window's back buffer copied to the screen (the
    // back buffer then always holds the whole shown picture), or swaps that
    // say how old the back buffer is, or plain swaps of a whole frame.
    void FindWindowUpdates() {
#if defined(SDL_VIDEO_DRIVER_X11)
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(m_window, &info) && info.subsystem == SDL_SYSWM_X11 && glXGetCurrentContext()) {
            Display* display = glXGetCurrentDisplay();
            const int screen = DefaultScreen(display);
            m_glxDisplay = display;
            m_glxDrawable = glXGetCurrentDrawable();
            m_copySubBuffer = epoxy_has_glx_extension(display, screen, "GLX_MESA_copy_sub_buffer");
            m_bufferAge = epoxy_has_glx_extension(display, screen, "GLX_EXT_buffer_age");
            return;
        }
#endif
#if VELMOR_GL_EGL
        if (epoxy_has_egl() && eglGetCurrentContext() != EGL_NO_CONTEXT) {
            m_eglDisplay = eglGetCurrentDisplay();
            m_eglSurface = eglGetCurrentSurface(EGL_DRAW);
            m_bufferAge = epoxy_has_egl_extension(m_eglDisplay, "EGL_EXT_buffer_age");
            m_swapWithDamage = epoxy_has_egl_extension(m_eglDisplay, "EGL_KHR_swap_buffers_with_damage");
        }
#endif
    }

    // Copying parts of the window does not wait for the display's refresh,
    // so it is used only where vsync does not hold the swaps anyway.
    bool CopiesWindowParts() const { return m_copySubBuffer && !m_vsync; }

    // How many frames ago the window's back buffer held the shown picture;
    // 0 when unknown.
    int WindowBufferAge() const {
        if (CopiesWindowParts()) return m_windowBackHeld ? 1 : 0;
        if (!m_bufferAge) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
        if (m_glxDisplay) {
            unsigned int age = 0;
            glXQueryDrawable(m_glxDisplay, m_glxDrawable, GLX_BACK_BUFFER_AGE_EXT, &age);
            return static_cast<int>(age);
        }
#endif
#if VELMOR_GL_EGL
        if (m_eglDisplay) {
            EGLint age = 0;
            if (eglQuerySurface(m_eglDisplay, m_eglSurface, EGL_BUFFER_AGE_EXT, &age)) return age;
        }
#endif
        return 0;
    }

    // The window pixels the picture's pixels in `area` can show in: the
    // scaling filter reads one picture pixel round each window pixel.
    static PixelRect WindowArea(const PixelRect& area, const platform::Letterbox& box, int bufferW, int bufferH) {
        const auto down = [](long long a, long long b) { return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b)); };
        const auto up = [](long long a, long long b) { return static_cast<int>(a >= 0 ? (a + b - 1) / b : -(-a / b)); };
        const PixelRect window{box.x + down((area.x0 - 1LL) * box.width, bufferW),
                               box.y + down((area.y0 - 1LL) * box.height, bufferH),
                               box.x + up((area.x1 + 1LL) * box.width, bufferW),
                               box.y + up((area.y1 + 1LL) * box.height, bufferH)};
        return window.Intersection(PixelRect{box.x, box.y, box.x + box.width, box.y + box.height});
    }

    // Scales the picture's damage into the window and hands the window
    // system the parts that changed.
    void ShowInWindow(const DamageRegion& damage, bool whole) {
        int windowW = 0, windowH = 0;
        SDL_GL_GetDrawableSize(m_window, &windowW, &windowH);
        const platform::Letterbox box = platform::FitLetterbox(windowW, windowH, BufferWidth(), BufferHeight());
        DamageRegion changed(windowW, windowH);
        if (whole || damage.Whole()) {
            changed.AddWhole();
        } else {
            for (const PixelRect& area : damage.Rects())
                changed.Add(WindowArea(area, box, BufferWidth(), BufferHeight()));
        }
        // The back buffer lacks what changed since the frame it holds.
        DamageRegion drawn = changed;
        const int age = WindowBufferAge();
        if (age == 2) {
            drawn.Add(m_lastWindowChange);
        } else if (age != 1) {
            drawn.AddWhole();
        }
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        DrawToWindow(box, drawn);
        if (m_capture) {
            CaptureWindow(*m_capture);
            m_capture = nullptr;
        }
        HandOver(drawn, changed, windowH, whole);
        m_lastWindowChange = changed;
    }

    // Rectangles of the window, its row 0 at the top, as the window system
    // counts them (from the bottom).
    static void ToBottomUp(const DamageRegion& region, int windowH, std::vector<int>& xywh) {
        xywh.clear();
        for (const PixelRect& r : region.Rects())
            xywh.insert(xywh.end(), {r.x0, windowH - r.y1, r.x1 - r.x0, r.y1 - r.y0});
    }

    // A window that was resized, exposed or shown again is handed a whole
    // frame by a swap: Mesa's software GLX learns a window's new size only
    // at a swap, and copying parts of a buffer of the old size would fail.
    void HandOver(const DamageRegion& drawn, const DamageRegion& changed, int windowH, bool whole) {
        std::vector<int> xywh;
#if defined(SDL_VIDEO_DRIVER_X11)
        if (CopiesWindowParts() && !whole) {
            // Everything drawn: where the back buffer was behind the
            // screen, so is the screen.
            ToBottomUp(drawn, windowH, xywh);
            for (size_t i = 0; i < xywh.size(); i += 4)
                glXCopySubBufferMESA(m_glxDisplay, m_glxDrawable, xywh[i], xywh[i + 1], xywh[i + 2], xywh[i + 3]);
            m_windowBackHeld = true;
            return;
        }
#endif
#if VELMOR_GL_EGL
        if (m_eglDisplay && m_swapWithDamage && !changed.Whole()) {
            ToBottomUp(changed, windowH, xywh);
            eglSwapBuffersWithDamageKHR(m_eglDisplay, m_eglSurface, xywh.data(), static_cast<EGLint>(xywh.size() / 4));
            m_windowBackHeld = false;
            return;
        }
#endif
        (void)drawn;
        (void)changed;
        (void)windowH;
        (void)whole;
        SDL_GL_SwapWindow(m_window);
        m_windowBackHeld = false;
    }

    void DrawToWindow(const platform::Letterbox& box, const DamageRegion& drawn) {
        int windowW = 0, windowH = 0;
        SDL_GL_GetDrawableSize(m_window, &windowW, &windowH);
        const int bufferW = BufferWidth(), bufferH = BufferHeight();
        const bool exact = box.width == bufferW && box.height == bufferH;
        const bool fillsWindow = box.width == windowW && box.height == windowH;
        // A window without a gamma ramp showing the picture at its own size
        // takes it in copies, turned the right way up.
        if (m_windowTakesCopy && m_params.Windowed && exact && fillsWindow) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_frontFramebuffer);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            for (const PixelRect& r : drawn.Rects())
                glBlitFramebuffer(r.x0, r.y0, r.x1, r.y1, r.x0, bufferH - r.y0, r.x1, bufferH - r.y1,
                                  GL_COLOR_BUFFER_BIT, GL_NEAREST);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            return;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glViewport(0, 0, windowW, windowH);
        // Only the bars round a letterboxed picture need clearing.
        if (!fillsWindow && drawn.Whole()) {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        if (PictureIsOneColour()) {
            ClearToPictureColour(box, windowH, drawn);
            return;
        }
        glViewport(box.x, windowH - box.y - box.height, box.width, box.height);

        if (!PresentProgramReady()) return;
        glUseProgram(m_presentProgram);
        // The gamma ramp is the full-screen display's; a window has none.
        // The identity ramp (i * 257 at entry i) maps every 8-bit value to
        // itself, so it is not looked up.
        glUniform1i(m_present.applyGamma, m_params.Windowed || IsIdentityRamp(m_state.gamma) ? 0 : 1);
        BindGamma();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, m_frontTexture);
        glBindSampler(0, 0);
        glBindSampler(1, 0);
        // Whole multiples of the picture keep its pixels sharp; sizes between
        // them are filtered rather than showing uneven pixels.
        const bool wholeMultiple = box.width % bufferW == 0 && box.height % bufferH == 0 &&
                                   box.width / bufferW == box.height / bufferH;
        const GLint filter = wholeMultiple ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        glBindVertexArray(m_presentVao);
        glEnable(GL_SCISSOR_TEST);
        for (const PixelRect& r : drawn.Rects()) {
            Scissor(PixelRect{r.x0, windowH - r.y1, r.x1, windowH - r.y0});
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
        glDisable(GL_SCISSOR_TEST);
    }

    // A frame that ends by clearing the whole picture (a start, a loading
    // screen, a fade to black) shows one colour; without a gamma ramp to look
    // it up in, the window is cleared to it instead of scaling the picture,
    // which on a software renderer costs as much as any other frame.
    bool PictureIsOneColour() const {
        if (m_current.commands.empty()) return false;
        const Command& last = m_current.commands.back();
        return last.kind == Command::kClear && CoversBackBuffer(last.clearRect) &&
               (m_params.Windowed || IsIdentityRamp(m_state.gamma));
    }

    // The colour is read back from the picture, so it is what the buffer's
    // format made of it, as scaling would show it.
    void ClearToPictureColour(const platform::Letterbox& box, int windowH, const DamageRegion& drawn) {
        GLubyte rgba[4] = {0, 0, 0, 0};
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_frontFramebuffer);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glClearColor(rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, 1.0f);
        const PixelRect picture{box.x, box.y, box.x + box.width, box.y + box.height};
        glEnable(GL_SCISSOR_TEST);
        for (const PixelRect& r : drawn.Rects()) {
            const PixelRect area = r.Intersection(picture);
            if (area.Empty()) continue;
            Scissor(PixelRect{area.x0, windowH - area.y1, area.x1, windowH - area.y0});
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glDisable(GL_SCISSOR_TEST);
    }

    void CaptureWindow(WindowCapture& capture) {
        SDL_GL_GetDrawableSize(m_window, &capture.width, &capture.height);
        capture.pixels.assign(static_cast<size_t>(capture.width) * capture.height, 0);
        std::vector<uint32_t> rows(capture.pixels.size());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        ReadArgb(capture.width, capture.height, reinterpret_cast<uint8_t*>(rows.data()),
                 static_cast<size_t>(capture.width) * 4);
        // The window's row 0 is its bottom row.
        for (int y = 0; y < capture.height; ++y)
            std::memcpy(&capture.pixels[static_cast<size_t>(y) * capture.width],
                        &rows[static_cast<size_t>(capture.height - 1 - y) * capture.width],
                        static_cast<size_t>(capture.width) * 4);
    }

    SDL_Window* m_window;
    SDL_GLContext m_context = nullptr;
    int m_listener = 0;
    std::map<SceneKey, SceneProgram> m_scenePrograms;
    GLuint m_presentProgram = 0;
    PresentUniforms m_present{};
    bool m_windowTakesCopy = false;
    GLuint m_sceneVao = 0, m_presentVao = 0, m_vertexBuffer = 0;
    GLuint m_samplers[2] = {0, 0};
#if VELMOR_GL_ES
    // The indices of a draw whose lowest index is not 0, made relative to it.
    GLuint m_rebasedIndexBuffer = 0;
    std::vector<uint16_t> m_rebasedIndices;
    // The driver takes S3TC textures as they are.
    bool m_s3tc = false;
#endif
    GLuint m_backTexture = 0, m_backFramebuffer = 0, m_frontTexture = 0, m_frontFramebuffer = 0;
    bool m_backHasAlpha = false;
    GLuint m_gammaTexture = 0;
    D3DGAMMARAMP m_gamma{};
    bool m_uploadedGamma = false;
    WindowCapture* m_capture = nullptr;
    // This frame's commands and the last shown frame's.
    RecordedFrame m_current, m_previous;
    bool m_previousShown = false;
    // Held commands of this frame were drawn when a resource they read was
    // about to change; the rest of the frame is drawn as it comes.
    bool m_drawingAhead = false;
    // Where the back buffer lags the front (the last frame's damage).
    DamageRegion m_backBehind{0, 0};
    // Whether vsync holds the swaps; how the window is handed frames.
    bool m_vsync = false;
    bool m_copySubBuffer = false, m_bufferAge = false;
#if defined(SDL_VIDEO_DRIVER_X11)
    Display* m_glxDisplay = nullptr;
    GLXDrawable m_glxDrawable = 0;
#endif
#if VELMOR_GL_EGL
    EGLDisplay m_eglDisplay = EGL_NO_DISPLAY;
    EGLSurface m_eglSurface = EGL_NO_SURFACE;
    bool m_swapWithDamage = false;
#endif
    // The window's back buffer still holds the last shown picture (after
    // copies of its parts, not after swaps).
    bool m_windowBackHeld = false;
    // Where the window changed in the last shown frame.
    DamageRegion m_lastWindowChange{0, 0};
    // The window must be drawn again whatever the frame (new, resized, exposed).
    bool m_windowStale = true;
    D3DGAMMARAMP m_shownGamma{};
    uint64_t m_shownFrames = 0;
};

HRESULT GlDirect3D::NewDevice(platform::GameWindow* focusWindow, const D3DPRESENT_PARAMETERS& params,
                              IDirect3DDevice8** device) {
    SDL_Window* window = platform::SdlWindowOf(focusWindow);
    if (!window) return D3DERR_INVALIDCALL;
    auto* created = new GlDevice(*this, params, window, TakeSpareContext());
    const HRESULT hr = created->Open();
    if (FAILED(hr)) {
        created->Release();
        return hr;
    }
    *device = created;
    return D3D_OK;
}

}  // namespace

IDirect3D8* CreateGlDirect3D() { return GlDirect3D::Create(); }

bool CaptureNextPresent(IDirect3DDevice8* device, WindowCapture* capture) {
    auto* gl = dynamic_cast<GlDevice*>(device);
    if (!gl) return false;
    gl->RequestCapture(capture);
    return true;
}

void SetRepeatedFramesSkipped(bool on) { g_skipRepeatedFrames = on; }

void SetDamageTracked(bool on) { g_trackDamage = on; }

uint64_t ShownFrameCount(IDirect3DDevice8* device) {
    auto* gl = dynamic_cast<GlDevice*>(device);
    return gl ? gl->ShownFrames() : 0;
}

}  // namespace vd3d
