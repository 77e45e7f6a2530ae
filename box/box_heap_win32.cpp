// The Windows heap gives large blocks back to the system as they are freed.

#include "box/box_parts.h"

namespace zep::box {

void LargeBlocksBackToTheSystem() {}

}  // namespace zep::box
