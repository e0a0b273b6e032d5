// varnex validate FILE...: asks the plug-in whether it would import each file
// and prints its header code with what the code means.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "session/plugin.h"

namespace varnex {

namespace {

const char* HeaderCodeMeaning(int32_t code) {
  switch (code) {
    case 1: return "accepted";
    case -1: return "cannot be opened";
    case -2: return "not accepted";
    default: return "unknown answer";
  }
}

int RunValidate(const HostOptions& host, const std::vector<std::string>& files) {
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  bool allAccepted = true;
  for (const std::string& file : files) {
    int32_t code = plugin->Call({{"validate_header", StringValue(file.c_str())}});
    std::printf("%s: %d (%s)\n", file.c_str(), code, HeaderCodeMeaning(code));
    allAccepted = allAccepted && code == 1;
  }
  return allAccepted ? kExitSuccess : kExitFailure;
}

}  // namespace

void SetupValidateCommand(Program& program) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* command = program.cli.add_subcommand("validate", "Print each file's header code: 1 accepted, -1 cannot be opened, -2 not accepted");
  command->add_option("files", *files, "Files to check")->required();
  program.commands.push_back({command, [&host = program.host, files] { return RunValidate(host, *files); }});
}

}  // namespace varnex
