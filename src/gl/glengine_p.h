#ifndef DORURIZAR_GLENGINE_P_H
#define DORURIZAR_GLENGINE_P_H

// Not installed: the deinterlace program's state, set by cGLEngine::init()
// and read when quads are drawn, and the register of lists.

#include "glengine.h"

#include <QSet>
#include <QSize>

namespace GLEngineNS {

extern bool gProgramLinked;  // both shaders compiled and the program linked
extern int gOnePerHeight;    // its one_per_height uniform, -1 without it

// Compiles a shader of the engine's GLSL version from defines and source;
// *ok tells whether it compiled.
GLuint compileShader(unsigned int type, char const* source, bool* ok, char const* defines = "");

// Pictures and frames of these sizes are interlaced video, filtered when drawn.
inline bool deinterlaced(QSize const& s)
{
    return s.height() == 576 && (s.width() == 704 || s.width() == 960);
}

// Adds a new list to cGLEngine::mGlobalDataList.
void registerList(cGLEngine::cUniData* list);
// The lists that may show image (a handle or a list), forgetting them.
QSet<cGLEngine::cUniData*> takeListsShowing(void const* image);

} // namespace GLEngineNS

#endif
