// qlbook: the command-line face of the Quillary libraries. Text goes in and
// out as raw bytes; exit status 0 on success, 1 on failure, 2 on bad usage.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli_util.h"
#include "ql_version.h"

int main(int argc, char** argv) {
  CLI::App app{
      "qlbook: read, build and convert Quillary books (.ql) from the command line.\n"
      "Texts are written as the raw bytes stored in the book (Windows-1252)."};
  app.set_version_flag("--version", "qlbook " QL_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  qlcli::AddReadCommands(app);
  qlcli::AddMakeCommands(app);
  qlcli::AddRenderSearchCommands(app);
  qlcli::AddExportCommands(app);
  qlcli::AddDefineCommand(app);
  qlcli::AddLibraryCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return qlcli::kExitUsage;
  }
  if (std::fflush(stdout) != 0 && qlcli::ExitStatus() == qlcli::kExitOk)
    return qlcli::Fail("cannot write the output");
  return qlcli::ExitStatus();
}
