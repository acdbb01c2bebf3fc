#ifndef DORURIZAR_GLENGINE_P_H
#define DORURIZAR_GLENGINE_P_H

// Not installed: the deinterlace program's state, set by cGLEngine::init()
// and read when quads are drawn, and the register of lists.

#include "glengine.h"

#include <QSet>

namespace GLEngineNS {

extern bool gProgramLinked;  // both shaders compiled and the program linked
extern int gOnePerHeight;    // its one_per_height uniform, -1 without it

// Adds a new list to cGLEngine::mGlobalDataList.
void registerList(cGLEngine::cUniData* list);
// The lists that may show image (a handle or a list), forgetting them.
QSet<cGLEngine::cUniData*> takeListsShowing(void const* image);

} // namespace GLEngineNS

#endif
