#ifndef DORURIZAR_GLYUVTEXTURE_P_H
#define DORURIZAR_GLYUVTEXTURE_P_H

// Not installed: the textures of a YUV frame item and the programs that
// convert them.

#include "glengine.h"
#include "uniyuvframe.h"

#include <vector>

// One texture per plane, each exactly the plane's size: 8-bit luminance for
// Y, Cb and Cr, luminance-alpha for NV12's interleaved Cb Cr, RGBA for YUYV
// (Y0 Cb Y1 Cr, one texel per two pixels); the first plane of an interlaced
// size goes up deinterlaced. The planes' bytes are kept packed beside them,
// so that a frame drawn again uploads only what changed.
class cGLEngine::cYuvTexture
{
public:
    cYuvTexture();
    ~cYuvTexture();  // deletes the GL textures

    // Uploads the planes of frame (which must be valid) that differ from the
    // copies kept, all of them after a change of format or size, and adds
    // their bytes to mUploadedBytes.
    void setFrame(cUniYuvFrame const& frame);
    // Selects the frame's conversion program and binds its planes; quads
    // are then given texture coordinates in frame pixels. Planar formats are
    // sampled nearest where the frame is drawn reduced both ways, else
    // interpolated.
    // False when there is no program. release() returns to the fixed pipeline.
    bool bind(bool reduced) const;
    void release() const;

private:
    cUniYuvFrame mShape;  // format, size, matrix and range; no planes
    GLuint mTextures[3];
    std::vector<unsigned char> mCopies[3];

    cYuvTexture(cYuvTexture const&) = delete;
    cYuvTexture& operator=(cYuvTexture const&) = delete;
};

namespace GLEngineNS {

// Builds the conversion programs, one per layout, in the current context;
// false when one fails.
bool buildYuvPrograms();
// Whether the programs of the current context were built.
bool yuvProgramsReady();

} // namespace GLEngineNS

#endif
