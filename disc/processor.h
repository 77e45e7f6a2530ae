#pragma once
// What the processor in use can do, for the few loops built twice: once for
// any x86-64 and once for its later instructions.

namespace zep {

// Whether the processor has SSSE3's byte shuffle (Intel since 2006, AMD since
// 2011), which functions marked target("ssse3") may use; false where the
// compiler cannot build such functions.
bool ProcessorHasSsse3();

}  // namespace zep
