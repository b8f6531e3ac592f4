#include "cli_util.h"

namespace qlcli {

void AddExportCommands(CLI::App& app) { (void)app; }

}  // namespace qlcli
