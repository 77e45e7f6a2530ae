#pragma once
// What the processor in use can do, for the few loops built more than once:
// once for any x86-64 and once for each of its later instruction sets.

namespace zep {

// Whether the processor has SSSE3's byte shuffle (Intel since 2006, AMD since
// 2011), which functions marked target("ssse3") may use; false where the
// compiler cannot build such functions.
bool ProcessorHasSsse3();

// Whether it has AVX-512's byte expansion (VBMI2, with BW and VL) and BMI2's
// bit scatter and gather (Intel since 2019, AMD since 2022), and the system
// keeps the 512-bit registers; false where the compiler cannot build for them.
bool ProcessorHasAvx512Expand();

}  // namespace zep
