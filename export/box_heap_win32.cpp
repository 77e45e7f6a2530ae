// The Windows heap gives large blocks back to the system as they are freed.

#include "export/box_parts.h"

namespace zep::box {

void LargeBlocksBackToTheSystem() {}

}  // namespace zep::box
