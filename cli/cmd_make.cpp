#include "cli_util.h"

namespace qlcli {

void AddMakeCommands(CLI::App& app) { (void)app; }

}  // namespace qlcli
