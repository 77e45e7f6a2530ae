// glibc raises its threshold for handing a block straight to the system
// each time such a block is freed, up to 32 MiB. The box frees a 20 MB scan
// dump area per disc, so the next disc's would come from the heap, which
// seldom shrinks: resident memory would climb disc by disc. A fixed
// threshold gives every block of a MiB or more back when it is freed.
// Fixing it also fixes the heap's trim threshold at 128 KiB, so that the
// smaller blocks a record file's bytes pass through, made and freed by the
// hundred, would each be given back and faulted in anew: the heap keeps a
// few MiB free at its top instead.

#include "box/box_parts.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace zep::box {

void LargeBlocksBackToTheSystem() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
}

}  // namespace zep::box
