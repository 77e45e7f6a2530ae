#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <process.h>
#define ZEP_GETPID _getpid
#else
#include <unistd.h>
#define ZEP_GETPID getpid
#endif

namespace zep::test {
long TempDir::Pid() { return static_cast<long>(ZEP_GETPID()); }
}  // namespace zep::test
