#ifndef DORURIZAR_GLENGINE_P_H
#define DORURIZAR_GLENGINE_P_H

// Not installed: the deinterlace program's state, set by cGLEngine::init()
// and read when quads are drawn.

namespace GLEngineNS {

extern bool gProgramLinked;  // both shaders compiled and the program linked
extern int gOnePerHeight;    // its one_per_height uniform, -1 without it

} // namespace GLEngineNS

#endif
