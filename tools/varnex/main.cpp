// varnex: the command-line host. It loads the import plug-in as a host
// application does and runs one subcommand.
// The rooms it is built in, and what each holds, are listed in the README's
// Layout section.
#include <csignal>
#include <cstdio>
#include <new>
#include <sstream>

#include "commands/commands.h"
#include "commands/program.h"
#include "io/huge_pages.h"
#include "io/standard_output.h"

namespace {

constexpr varnex::CommandSetup kCommands[] = {
    varnex::SetupValidateCommand,
    varnex::SetupImportCommand,
    varnex::SetupConvertCommand,
    varnex::SetupOptionsCommand,
    varnex::SetupAboutCommand,
};

}  // namespace

int main(int argc, char** argv) {
  varnex::PreferHugePages();
  varnex::KeepStandardDescriptorsTaken();
#ifndef _WIN32
  // A reader that goes away is a write error of that output, not the end of varnex.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  varnex::Program program;
  CLI::App& cli = program.cli;
  cli.fallthrough();
  cli.require_subcommand(1);
  cli.set_version_flag("--version", "varnex " VARNEX_VERSION, "Print the version of varnex and exit");
  cli.add_option("--plugin", program.host.pluginPath, "Plug-in library to load (default: imp_bvh.so beside varnex)");
  cli.add_option("--settings", program.host.settingsDirectory,
                 "Settings directory for imp_bvh.ini (default: $XDG_CONFIG_HOME/varnex/ or ~/.config/varnex/)");
  for (varnex::CommandSetup setup : kCommands) setup(program);

  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version print to stdout, through stdio, so that its check sees them.
    std::ostringstream out;
    const int code = cli.exit(error, out);
    std::fputs(out.str().c_str(), stdout);
    return varnex::FinishStandardOutput(code == 0 ? varnex::kExitSuccess : varnex::kExitHostProblem);
  }
  for (const varnex::Command& command : program.commands) {
    if (!command.subcommand->parsed()) continue;
    // What no export caught (a take's capture, the printed scene): every
    // output file removed its temporary on the way here.
    try {
      return varnex::FinishStandardOutput(command.run());
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "varnex: out of memory; what was not finished was not written\n");
      return varnex::FinishStandardOutput(varnex::kExitHostProblem);
    }
  }
  return varnex::kExitHostProblem;
}
