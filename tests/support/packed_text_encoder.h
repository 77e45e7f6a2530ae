#pragma once
// The inverse of the packed GPS text decoder: what the recorder does when it
// stores a line of text in a TK40 block. Used by tests and the sample-disc
// maker only; the product never packs text.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zep::test {

// Packs text (7-bit characters, at most 64) into a 64-byte area: runs of
// "0123456789,.$GPL" as symbol groups, anything else as literal runs, then the
// end command when the text is shorter than 64. Empty when it does not fit.
std::optional<std::array<std::uint8_t, 64>> EncodePackedText(std::string_view text);

}  // namespace zep::test
