#define GL_GLEXT_PROTOTYPES 1

#include "glyuvtexture_p.h"

#include "glengine_p.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace {

// The conversion runs after the fixed vertex stage: gl_TexCoord[0] holds the
// position in frame pixels. Planar chroma is filtered by the texture unit,
// each sample co-sited with its left luma sample and centred between its two
// rows. YUYV texels hold two pixels, so its texture is sampled nearest and
// filtered here, bilinearly like the others. Deinterlacing mixes each row
// with the rows above and below, 1 : 2 : 1, as the picture filter does.
char const* const kYuvFragmentShader =
    "uniform sampler2D plane0, plane1, plane2;\n"
    "uniform vec2 luma_size, chroma_size;\n"
    "uniform mat3 to_rgb;\n"
    "uniform vec3 offset;\n"
    "#if FORMAT == 2\n"
    "vec3 pixelAt(vec2 i) {\n"
    "    vec4 t = texture2D(plane0, vec2(floor(i.x * 0.5) + 0.5, i.y + 0.5) / chroma_size);\n"
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
    "    vec2 c = vec2(p.x * 0.5 + 0.25, p.y * 0.5) / chroma_size;\n"
    "#if FORMAT == 0\n"
    "    return vec3(texture2D(plane0, p / luma_size).r, texture2D(plane1, c).r, texture2D(plane2, c).r);\n"
    "#else\n"
    "    return vec3(texture2D(plane0, p / luma_size).r, texture2D(plane1, c).ra);\n"
    "#endif\n"
    "}\n"
    "#endif\n"
    "void main() {\n"
    "    vec2 p = gl_TexCoord[0].xy;\n"
    "#if DEINTERLACE\n"
    "    vec3 yuv = 0.25 * yuvAt(p - vec2(0.0, 1.0)) + 0.5 * yuvAt(p) + 0.25 * yuvAt(p + vec2(0.0, 1.0));\n"
    "#else\n"
    "    vec3 yuv = yuvAt(p);\n"
    "#endif\n"
    "    gl_FragColor = vec4(clamp(to_rgb * yuv + offset, 0.0, 1.0), 1.0);\n"
    "}\n";

struct Program {
    GLuint id;
    GLint lumaSize, chromaSize, toRgb, offset;
};

// [layout - I420][deinterlaced]
Program gPrograms[3][2];
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

} // namespace

bool GLEngineNS::buildYuvPrograms()
{
    gProgramsReady = false;
    for (int format = 0; format < 3; ++format)
        for (int deinterlace = 0; deinterlace < 2; ++deinterlace) {
            const QByteArray defines = "#define FORMAT " + QByteArray::number(format) + "\n#define DEINTERLACE "
                + QByteArray::number(deinterlace) + "\n";
            bool ok = false;
            const GLuint shader = compileShader(GL_FRAGMENT_SHADER, kYuvFragmentShader, &ok, defines.constData());
            Program& p = gPrograms[format][deinterlace];
            p.id = glCreateProgram();
            glAttachShader(p.id, shader);
            glLinkProgram(p.id);
            glDeleteShader(shader);  // goes with the program
            GLint linked = GL_FALSE;
            glGetProgramiv(p.id, GL_LINK_STATUS, &linked);
            if (!ok || linked != GL_TRUE)
                return false;
            p.lumaSize = glGetUniformLocation(p.id, "luma_size");
            p.chromaSize = glGetUniformLocation(p.id, "chroma_size");
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
        glBindTexture(GL_TEXTURE_2D, mTextures[i]);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, rows, layout.format, GL_UNSIGNED_BYTE, mCopies[i].data());
        mUploadedBytes += quint64(mCopies[i].size());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

bool cGLEngine::cYuvTexture::bind() const
{
    const int format = int(mShape.mFormat) - int(cUniYuvFrame::I420);
    if (!gProgramsReady || format < 0 || format > 2)
        return false;
    Program const& p = gPrograms[format][GLEngineNS::deinterlaced(mShape.mSize)];
    glUseProgram(p.id);
    for (int i = mShape.planeCount() - 1; i >= 0; --i) {
        glActiveTexture(GL_TEXTURE0 + GLenum(i));
        glBindTexture(GL_TEXTURE_2D, mTextures[i]);
    }
    const int chromaPlane = mShape.planeCount() > 1 ? 1 : 0;
    const QSize chroma(mShape.rowBytes(chromaPlane) / layoutOf(mShape.mFormat, chromaPlane).bytesPerTexel,
                       mShape.rowCount(chromaPlane));
    glUniform2f(p.lumaSize, float(mShape.mSize.width()), float(mShape.mSize.height()));
    glUniform2f(p.chromaSize, float(chroma.width()), float(chroma.height()));
    float toRgb[9], offset[3];
    conversion(mShape.mMatrix, mShape.mRange, toRgb, offset);
    glUniformMatrix3fv(p.toRgb, 1, GL_TRUE, toRgb);
    glUniform3fv(p.offset, 1, offset);
    return true;
}

void cGLEngine::cYuvTexture::release() const
{
    glUseProgram(0);
}
