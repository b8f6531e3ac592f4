#include "cli_util.h"

namespace qlcli {

void AddRenderSearchCommands(CLI::App& app) { (void)app; }

}  // namespace qlcli
