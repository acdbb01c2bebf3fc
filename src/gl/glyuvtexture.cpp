#define GL_GLEXT_PROTOTYPES 1

#include "glyuvtexture_p.h"

#include "glengine_p.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The conversion runs after the fixed vertex stage: gl_TexCoord[0] holds the
// position in frame pixels. Planar chroma is filtered by the texture unit,
// each sample co-sited with its left luma sample and centred between its two
// rows. YUYV texels hold two pixels, so its texture is sampled nearest and
// filtered here, bilinearly like the others. Interlaced frames are
// deinterlaced as they are uploaded (see deinterlaceRows), so the program
// samples each plane once a pixel: sampling is most of its cost where a
// software rasteriser runs it.
char const* const kYuvFragmentShader =
    "uniform sampler2D plane0, plane1, plane2;\n"
    "uniform vec2 luma_size, per_luma, per_chroma;  // sizes in texels and their inverses\n"
    "uniform mat3 to_rgb;\n"
    "uniform vec3 offset;\n"
    "#if FORMAT == 2\n"
    "vec3 pixelAt(vec2 i) {\n"
    "    vec4 t = texture2D(plane0, vec2(floor(i.x * 0.5) + 0.5, i.y + 0.5) * per_chroma);\n"
    "    return vec3(mod(i.x, 2.0) < 0.5 ? t.r : t.b, t.g, t.a);\n"
    "}\n"
    "vec3 yuvAt(vec2 p) {\n"
    "    vec2 q = p - 0.5, at = floor(q), f = q - at;\n"
    "    vec2 lo = clamp(at, vec2(0.0), luma_size - 1.0), hi = clamp(at + 1.0, vec2(0.0), luma_size - 1.0);\n"
    "    return mix(mix(pixelAt(lo), pixelAt(vec2(hi.x, lo.y)), f.x),\n"
    "               mix(pixelAt(vec2(lo.x, hi.y)), pixelAt(hi), f.x), f.y);\n"
    "}\n"
    "#else\n"
    "vec3 yuvAt(vec2 p) {\n"
    "    vec2 c = (p * 0.5 + vec2(0.25, 0.0)) * per_chroma;\n"
    "#if FORMAT == 0\n"
    "    return vec3(texture2D(plane0, p * per_luma).r, texture2D(plane1, c).r, texture2D(plane2, c).r);\n"
    "#else\n"
    "    return vec3(texture2D(plane0, p * per_luma).r, texture2D(plane1, c).ra);\n"
    "#endif\n"
    "}\n"
    "#endif\n"
    "void main() {\n"
    "    gl_FragColor = vec4(to_rgb * yuvAt(gl_TexCoord[0].xy) + offset, 1.0);  // clamped as written\n"
    "}\n";

struct Program {
    GLuint id;
    GLint lumaSize, perLuma, perChroma, toRgb, offset;
};

// [layout - I420]
Program gPrograms[3];
bool gProgramsReady = false;

struct PlaneLayout {
    GLenum format;
    int bytesPerTexel;
};

PlaneLayout layoutOf(cUniYuvFrame::Format format, int plane)
{
    if (format == cUniYuvFrame::YUYV)
        return {GL_RGBA, 4};
    if (format == cUniYuvFrame::NV12 && plane == 1)
        return {GL_LUMINANCE_ALPHA, 2};
    return {GL_LUMINANCE, 1};
}

// R'G'B' = toRgb x (Y Cb Cr as sampled, 0..1) + offset: the range's scale
// and offset folded into the matrix.
void conversion(cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range, float toRgb[9], float offset[3])
{
    const double kr = matrix == cUniYuvFrame::BT709 ? 0.2126 : 0.299;
    const double kb = matrix == cUniYuvFrame::BT709 ? 0.0722 : 0.114;
    const double kg = 1 - kr - kb;
    const double m[3][3] = {{1, 0, 2 * (1 - kr)},
                            {1, -2 * kb * (1 - kb) / kg, -2 * kr * (1 - kr) / kg},
                            {1, 2 * (1 - kb), 0}};
    const bool full = range == cUniYuvFrame::Full;
    const double scale[3] = {full ? 1.0 : 255.0 / 219, full ? 1.0 : 255.0 / 224, full ? 1.0 : 255.0 / 224};
    const double zero[3] = {full ? 0.0 : 16.0 / 255, 128.0 / 255, 128.0 / 255};
    for (int r = 0; r < 3; ++r) {
        double o = 0;
        for (int c = 0; c < 3; ++c) {
            toRgb[3 * r + c] = float(m[r][c] * scale[c]);
            o -= m[r][c] * scale[c] * zero[c];
        }
        offset[r] = float(o);
    }
}

// Each row of an interlaced plane mixed 1 : 2 : 1 with the rows above and
// below (an edge row stands in for the one missing), the picture filter's
// weights: filtering before the texture unit interpolates gives what
// filtering its samples would. Planar chroma rows, each shared by two rows
// of both fields, are left as they are.
void deinterlaceRows(unsigned char const* from, unsigned char* to, int rowBytes, int rows)
{
    for (int y = 0; y < rows; ++y) {
        unsigned char const* above = from + ptrdiff_t(std::max(y - 1, 0)) * rowBytes;
        unsigned char const* row = from + ptrdiff_t(y) * rowBytes;
        unsigned char const* below = from + ptrdiff_t(std::min(y + 1, rows - 1)) * rowBytes;
        unsigned char* out = to + ptrdiff_t(y) * rowBytes;
        // (a + 2b + c + 2) / 4 as two rounding averages, the first rounded
        // down so that the second rounds as the sum does: exact, and a few
        // instructions for 16 bytes where the processor averages bytes.
        int x = 0;
#ifdef __SSE2__
        const __m128i one = _mm_set1_epi8(1);
        for (; x + 16 <= rowBytes; x += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<__m128i const*>(above + x));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<__m128i const*>(below + x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<__m128i const*>(row + x));
            const __m128i outer = _mm_sub_epi8(_mm_avg_epu8(a, c), _mm_and_si128(_mm_xor_si128(a, c), one));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_avg_epu8(outer, b));
        }
#endif
        for (; x < rowBytes; ++x) {
            const int outer = ((above[x] + below[x] + 1) >> 1) - ((above[x] ^ below[x]) & 1);
            out[x] = (unsigned char)((outer + row[x] + 1) >> 1);
        }
    }
}

// The deinterlaced plane being uploaded; GL calls run under the engine's lock.
std::vector<unsigned char> gFiltered;

} // namespace

bool GLEngineNS::buildYuvPrograms()
{
    gProgramsReady = false;
    for (int format = 0; format < 3; ++format) {
        const QByteArray defines = "#define FORMAT " + QByteArray::number(format) + "\n";
        bool ok = false;
        const GLuint shader = compileShader(GL_FRAGMENT_SHADER, kYuvFragmentShader, &ok, defines.constData());
        Program& p = gPrograms[format];
        p.id = glCreateProgram();
        glAttachShader(p.id, shader);
        glLinkProgram(p.id);
        glDeleteShader(shader);  // goes with the program
        GLint linked = GL_FALSE;
        glGetProgramiv(p.id, GL_LINK_STATUS, &linked);
        if (!ok || linked != GL_TRUE)
            return false;
        p.lumaSize = glGetUniformLocation(p.id, "luma_size");
        p.perLuma = glGetUniformLocation(p.id, "per_luma");
        p.perChroma = glGetUniformLocation(p.id, "per_chroma");
        p.toRgb = glGetUniformLocation(p.id, "to_rgb");
        p.offset = glGetUniformLocation(p.id, "offset");
        glUseProgram(p.id);
        for (int unit = 0; unit < 3; ++unit)
            glUniform1i(glGetUniformLocation(p.id, ("plane" + QByteArray::number(unit)).constData()), unit);
        glUseProgram(0);
    }
    gProgramsReady = true;
    return true;
}

bool GLEngineNS::yuvProgramsReady()
{
    return gProgramsReady;
}

cGLEngine::cYuvTexture::cYuvTexture()
    : mTextures{0, 0, 0}
{
}

cGLEngine::cYuvTexture::~cYuvTexture()
{
    glDeleteTextures(3, mTextures);
}

void cGLEngine::cYuvTexture::setFrame(cUniYuvFrame const& frame)
{
    const bool reshaped = frame.mFormat != mShape.mFormat || frame.mSize != mShape.mSize;
    mShape = cUniYuvFrame(frame.mFormat, frame.mSize, frame.mMatrix, frame.mRange);
    if (reshaped) {
        glDeleteTextures(3, mTextures);
        std::fill_n(mTextures, 3, 0u);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < frame.planeCount(); ++i) {
        const PlaneLayout layout = layoutOf(frame.mFormat, i);
        const int rowBytes = frame.rowBytes(i), rows = frame.rowCount(i);
        const int width = rowBytes / layout.bytesPerTexel;
        if (reshaped) {
            mCopies[i].resize(size_t(rowBytes) * size_t(rows));
            glGenTextures(1, &mTextures[i]);
            glBindTexture(GL_TEXTURE_2D, mTextures[i]);
            const GLint filter = frame.mFormat == cUniYuvFrame::YUYV ? GL_NEAREST : GL_LINEAR;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(layout.format), width, rows, 0, layout.format, GL_UNSIGNED_BYTE,
                         nullptr);
        }
        // Rows up to the first that differs are already in the copy; the
        // rest are copied without comparing.
        bool changed = reshaped;
        unsigned char* copy = mCopies[i].data();
        for (int row = 0; row < rows; ++row, copy += rowBytes) {
            uchar const* source = frame.mPlanes[i] + ptrdiff_t(row) * frame.mStrides[i];
            if (changed || std::memcmp(copy, source, size_t(rowBytes)) != 0) {
                std::memcpy(copy, source, size_t(rowBytes));
                changed = true;
            }
        }
        if (!changed)
            continue;
        unsigned char const* pixels = mCopies[i].data();
        if (i == 0 && GLEngineNS::deinterlaced(frame.mSize)) {
            gFiltered.resize(mCopies[i].size());
            deinterlaceRows(pixels, gFiltered.data(), rowBytes, rows);
            pixels = gFiltered.data();
        }
        glBindTexture(GL_TEXTURE_2D, mTextures[i]);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, rows, layout.format, GL_UNSIGNED_BYTE, pixels);
        mUploadedBytes += quint64(mCopies[i].size());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

bool cGLEngine::cYuvTexture::bind(bool reduced) const
{
    const int format = int(mShape.mFormat) - int(cUniYuvFrame::I420);
    if (!gProgramsReady || format < 0 || format > 2)
        return false;
    Program const& p = gPrograms[format];
    glUseProgram(p.id);
    for (int i = mShape.planeCount() - 1; i >= 0; --i) {
        glActiveTexture(GL_TEXTURE0 + GLenum(i));
        glBindTexture(GL_TEXTURE_2D, mTextures[i]);
        if (mShape.mFormat != cUniYuvFrame::YUYV) {  // YUYV is always sampled nearest, and filtered by the program
            // Chosen here rather than by the texture unit's own rule, which
            // would work out a level of detail for every pixel. Reduced,
            // a frame is sampled as the Qt and SDL engines sample it; where
            // a software rasteriser runs the program, filtering the luma
            // plane cost a third of a wall of cameras' frame.
            const GLint filter = reduced ? GL_NEAREST : GL_LINEAR;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        }
    }
    const int chromaPlane = mShape.planeCount() > 1 ? 1 : 0;
    const QSize chroma(mShape.rowBytes(chromaPlane) / layoutOf(mShape.mFormat, chromaPlane).bytesPerTexel,
                       mShape.rowCount(chromaPlane));
    glUniform2f(p.lumaSize, float(mShape.mSize.width()), float(mShape.mSize.height()));
    glUniform2f(p.perLuma, 1.0f / float(mShape.mSize.width()), 1.0f / float(mShape.mSize.height()));
    glUniform2f(p.perChroma, 1.0f / float(chroma.width()), 1.0f / float(chroma.height()));
    float toRgb[9], offset[3];
    conversion(mShape.mMatrix, mShape.mRange, toRgb, offset);
    glUniformMatrix3fv(p.toRgb, 1, GL_TRUE, toRgb);
    glUniform3fv(p.offset, 1, offset);
    glDisable(GL_BLEND);  // opaque: blending would give the same pixels, slower
    return true;
}

void cGLEngine::cYuvTexture::release() const
{
    glUseProgram(0);
    glEnable(GL_BLEND);
}
