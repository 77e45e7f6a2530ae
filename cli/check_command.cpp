#include "cli/commands.h"
namespace zep::cli {
int CheckCommand(Console&, const std::string&, std::optional<SourceType>, bool, const std::string&) { return kRefused; }
}
