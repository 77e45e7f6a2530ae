#include "disc/processor.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define ZEP_PROCESSOR_QUERY 1
#endif

namespace zep {

bool ProcessorHasSsse3() {
#ifdef ZEP_PROCESSOR_QUERY
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
#else
  return false;
#endif
}

// The compiler's query asks the system too: AVX-512 counts only where the
// system saves its registers.
bool ProcessorHasAvx512Expand() {
#ifdef ZEP_PROCESSOR_QUERY
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2");
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace zep
