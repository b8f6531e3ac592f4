#include "cli_util.h"

namespace qlcli {

void AddReadCommands(CLI::App& app) { (void)app; }

}  // namespace qlcli
