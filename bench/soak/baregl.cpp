#define GL_GLEXT_PROTOTYPES 1

#include "baregl.h"

#include <atlasfile.h>
#include <benchfixtures.h>

#include <dorurizar/glengine.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <QColor>

namespace soak {

namespace {

const int kTransientStorage = 1024;  // a 704 x 576 picture rounded up, as the engine stores it

QSize storageFor(QSize const& s)
{
    return QSize(int(nSize(unsigned(s.width()))), int(nSize(unsigned(s.height()))));
}

GLuint compile(GLenum type, char const* source)
{
    static char const version[] = "#version 120\n";
    char const* strings[2] = {version, source};
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 2, strings, nullptr);
    glCompileShader(shader);
    return shader;
}

void quad(QRectF const& t, QRect const& r)
{
    glBegin(GL_QUADS);
    glTexCoord2d(t.left(), t.top());
    glVertex2f(float(r.left()), float(r.top()));
    glTexCoord2d(t.right(), t.top());
    glVertex2f(float(r.right() + 1), float(r.top()));
    glTexCoord2d(t.right(), t.bottom());
    glVertex2f(float(r.right() + 1), float(r.bottom() + 1));
    glTexCoord2d(t.left(), t.bottom());
    glVertex2f(float(r.left()), float(r.bottom() + 1));
    glEnd();
}

QRectF texCoords(QRect const& r, QSize const& storage)
{
    return QRectF(double(r.left()) / storage.width(), double(r.top()) / storage.height(),
                  double(r.width()) / storage.width(), double(r.height()) / storage.height());
}

} // namespace

BareGLWall::BareGLWall()
{
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    mVertexShader = compile(GL_VERTEX_SHADER, gSimpleVertexShader);
    mFragmentShader = compile(GL_FRAGMENT_SHADER, gDeinterlaceFragmentShader);
    mProgram = glCreateProgram();
    glAttachShader(mProgram, mVertexShader);
    glAttachShader(mProgram, mFragmentShader);
    glLinkProgram(mProgram);

    for (int i = 0; i < kTiles; ++i) {
        mFeeds.push_back(std::make_unique<Feed>(i + 1));
        mPictures.push_back(newTexture(storageFor(kPicture)));
    }
    atlasfile::Synthetic atlas = atlasfile::makeSynthetic([](int b) { return b < 32 ? 0 : 5 + b % 4; }, 12, 1,
                                                          qRgb(255, 255, 255), qRgb(0, 0, 0));
    mAtlasStorage = storageFor(atlas.image.size());
    mAtlas = newTexture(mAtlasStorage);
    upload(mAtlas, atlas.image.convertToFormat(QImage::Format_ARGB32));
    mBoxes = atlas.boxes;
    QImage white(1, 1, QImage::Format_ARGB32);
    white.fill(0xffffffffu);
    mTexel = newTexture(QSize(1, 1));
    upload(mTexel, white);
}

BareGLWall::~BareGLWall()
{
    glDeleteTextures(GLsizei(mPictures.size()), mPictures.data());
    for (GLuint t : mTransients)
        glDeleteTextures(1, &t);
    for (GLuint t : {mGradientTexture, mAtlas, mTexel})
        glDeleteTextures(1, &t);
    glDeleteProgram(mProgram);
    glDeleteShader(mVertexShader);
    glDeleteShader(mFragmentShader);
}

GLuint BareGLWall::newTexture(QSize const& storage)
{
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, storage.width(), storage.height(), 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    return t;
}

void BareGLWall::upload(GLuint texture, QImage const& image)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width(), image.height(), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                    image.constBits());
}

void BareGLWall::frame(QSize const& screen, int n)
{
    // The wall's churn: a transient picture made every kCreateEvery frames
    // (the oldest deleted), the newest one redrawn every kResizeEvery.
    if (n % kCreateEvery == 0) {
        mTransients.push_back(newTexture(QSize(kTransientStorage, kTransientStorage)));
        if (mTransients.size() > size_t(kTransientsKept)) {
            glDeleteTextures(1, &mTransients.front());
            mTransients.pop_front();
        }
    }
    if (n % kResizeEvery == 0)
        upload(mTransients.back(), mFeeds[size_t(n % kTiles)]->pictureAt(n));

    glViewport(0, 0, screen.width(), screen.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, screen.width(), screen.height(), 0, -9999, 9999);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);  // as the engine clears

    const int selected = (n % kCycle / kSelectEvery * 5) % kTiles;
    const GLint onePerHeight = glGetUniformLocation(mProgram, "one_per_height");
    const QRect texel(0, 0, 1, 1);
    auto fill = [&](QRect const& r, QColor const& c) {
        glBindTexture(GL_TEXTURE_2D, mTexel);
        glColor4ub(GLubyte(c.red()), GLubyte(c.green()), GLubyte(c.blue()), GLubyte(c.alpha()));
        quad(texCoords(texel, QSize(1, 1)), r);
        glColor4ub(255, 255, 255, 255);
    };
    auto outline = [&](QRect const& r, QColor const& c) {
        fill(QRect(r.left() + 1, r.top(), r.width() - 2, 1), c);
        fill(QRect(r.left() + 1, r.bottom(), r.width() - 2, 1), c);
        fill(QRect(r.left(), r.top(), 1, r.height()), c);
        fill(QRect(r.right(), r.top(), 1, r.height()), c);
    };
    auto text = [&](QPoint at, int glyphs) {
        glBindTexture(GL_TEXTURE_2D, mAtlas);
        for (int g = 0; g < glyphs; ++g) {
            QRect const& box = mBoxes[65 + g % 26];
            const QRect cell(box.topLeft(), box.size() + QSize(4, 3));
            quad(texCoords(cell, mAtlasStorage), QRect(at, cell.size()));
            at.rx() += box.width() + 1;
        }
    };

    for (int i = 0; i < kTiles; ++i) {
        const QRect r = cell(screen, i);
        upload(mPictures[size_t(i)], mFeeds[size_t(i)]->pictureAt(n));
        glUseProgram(mProgram);
        glUniform1f(onePerHeight, 1.0f / float(storageFor(kPicture).height()));
        quad(texCoords(QRect(QPoint(), kPicture), storageFor(kPicture)), r);
        glUseProgram(0);
        const QRect strip(r.left(), r.bottom() + 1 - kLabelHeight, r.width(), kLabelHeight);
        if (i == selected) {
            // The engine writes a picture of the whole tile for a gradient.
            mGradient.assign(size_t(r.width()) * size_t(r.height()), 0);
            dbench::plainGradient(reinterpret_cast<uchar*>(mGradient.data() + (r.height() - kLabelHeight) * r.width()),
                                  r.width() * 4, r.width(), kLabelHeight, qRgb(120, 80, 0), qRgb(255, 200, 40));
            if (!mGradientTexture)
                mGradientTexture = newTexture(QSize(256, 256));
            glBindTexture(GL_TEXTURE_2D, mGradientTexture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, r.width(), r.height(), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                            mGradient.data());
            quad(texCoords(QRect(0, r.height() - kLabelHeight, r.width(), kLabelHeight), QSize(256, 256)), strip);
        } else {
            fill(strip, QColor(0, 0, 0, 160));
        }
        text(strip.topLeft() + QPoint(6, 2), 22);
        outline(r, i == selected ? QColor(255, 210, 0) : QColor(110, 110, 110));
    }
    outline(cell(screen, selected).adjusted(-1, -1, 1, 1), QColor(255, 210, 0));
    for (size_t k = 0; k < mTransients.size(); ++k) {
        glBindTexture(GL_TEXTURE_2D, mTransients[k]);
        quad(texCoords(QRect(QPoint(), kPicture), QSize(kTransientStorage, kTransientStorage)),
             QRect(screen.width() - int(k + 1) * 168, 8, 160, 120));
    }
    const QRect line(0, screen.height() - kStatusHeight, screen.width(), kStatusHeight);
    fill(line, QColor(200, 200, 196));
    text(line.topLeft() + QPoint(8, 4), 40);
}

long countTextureNames()
{
    // Every live name lies below the next free one, or, where freed names
    // are handed out again, not far above it.
    GLuint next = 0;
    glGenTextures(1, &next);
    glDeleteTextures(1, &next);
    long live = 0;
    for (GLuint name = 1; name < next + 65536; ++name)
        live += glIsTexture(name) == GL_TRUE;
    return live;
}

} // namespace soak
