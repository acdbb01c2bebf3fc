#ifndef DORURIZAR_ALLOCATIONCOUNT_H
#define DORURIZAR_ALLOCATIONCOUNT_H

// A benchmark that compiles allocationcount.cpp in counts every operator new
// of its process, so a loop can prove that it allocates nothing.

namespace dbench {

long allocations();

} // namespace dbench

#endif
