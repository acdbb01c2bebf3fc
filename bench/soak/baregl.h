#ifndef SOAK_BAREGL_H
#define SOAK_BAREGL_H

// The GL wall's frame made straight to GL, with no engine: the same picture
// uploads into power-of-two textures, the same deinterlace program, glyph,
// fill and outline quads, and transient textures made and deleted at the
// wall's pace. What this loop's memory does is the driver's doing.

#include "soakwall.h"

#include <QVector>

#include <deque>
#include <memory>
#include <vector>

typedef unsigned int GLuint;

namespace soak {

class BareGLWall
{
public:
    // Needs the window's context current, as frame() does.
    BareGLWall();
    ~BareGLWall();

    // Draws frame n into the back buffer of a screen of that size.
    void frame(QSize const& screen, int n);

private:
    GLuint newTexture(QSize const& storage);
    void upload(GLuint texture, QImage const& image);

    std::vector<std::unique_ptr<Feed>> mFeeds;
    std::vector<GLuint> mPictures;
    std::deque<GLuint> mTransients;  // oldest first
    std::vector<unsigned> mGradient;
    GLuint mGradientTexture = 0;
    GLuint mAtlas = 0;
    QSize mAtlasStorage;
    QVector<QRect> mBoxes;
    GLuint mTexel = 0;
    GLuint mVertexShader = 0;
    GLuint mFragmentShader = 0;
    GLuint mProgram = 0;
};

// Texture names alive in the current context.
long countTextureNames();

} // namespace soak

#endif
