// Windows has no fork: the write runs in the process itself.

#include "export/write_apart.h"

namespace zep {

std::optional<Problem> WriteApart(const std::function<std::optional<Problem>()>& write) { return write(); }

void EndWriterApart() noexcept {}

}  // namespace zep
