#include "ui/shell_state.h"

namespace zep::ui {

ShellState g_shell;

}  // namespace zep::ui
