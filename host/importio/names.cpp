// Instance names and channels as the import reaches them: unique names, the
// default channel table, and the optimisation pass after an instance's keys.
#include <algorithm>
#include <cstring>
#include <string>

#include "hostcall.h"
#include "scene.h"
#include "tokens.h"
#include "varnex/importio.h"

namespace vxhost {
namespace {

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

std::string LogName(const char* name) { return name ? QuoteForLog(name) : "0"; }

void MakeNameUnique(SgToken instance, const char* wanted, char* buffer) {
  const Token* token = AsToken(instance);
  LogCall(std::string("Import_IO_MakeNameUnique(") + (token ? token->text : "?") + ", " + LogName(wanted) + ", " +
          (buffer ? "buffer" : "0") + ")");
  if (!token || token->word != Word::Instance)
    return ReportHostError("Import_IO_MakeNameUnique()", "item 1: expected instance");
  if (!wanted) return ReportHostError("Import_IO_MakeNameUnique()", "item 2: expected a name, found 0");
  if (!buffer) return ReportHostError("Import_IO_MakeNameUnique()", "item 3: expected a name buffer, found 0");
  const std::string name = vxhost::MakeUniqueName(wanted);
  std::memcpy(buffer, name.c_str(), name.size() + 1);
}

int16_t GetDefaultChannels(const char* name, void** table) {
  LogCall("Import_IO_Get_DefaultAnimationChannelPtrs(" + LogName(name) + ", " + (table ? "table" : "0") + ")");
  if (!name) {
    ReportHostError("Import_IO_Get_DefaultAnimationChannelPtrs()", "item 1: expected a name, found 0");
    return 0;
  }
  if (!table) {
    ReportHostError("Import_IO_Get_DefaultAnimationChannelPtrs()", "item 2: expected a channel table, found 0");
    return 0;
  }
  const Instance* instance = FindMutableInstance(name);
  if (!instance || !instance->hasDefaultChannels) return 0;
  for (int entry = 0; entry < kChannelTableSize; ++entry) table[entry] = instance->channels[entry];
  return 1;
}

void OptimizeChannels(const char* name) {
  LogCall("Import_IO_OptimizeTransformationChannels(" + LogName(name) + ")");
  Instance* instance = name ? FindMutableInstance(name) : nullptr;
  if (!instance)
    return ReportHostError("Import_IO_OptimizeTransformationChannels()",
                           name ? "item 1: no instance is named \"" + std::string(name) + "\"" : "item 1: expected a name, found 0");
  OptimizeTransformationChannels(*instance);
  // The instance's keys are complete: give back what the key arrays reserved.
  for (Channel* channel : instance->channels)
    if (channel) channel->keys.Trim();
}

}  // namespace
}  // namespace vxhost

extern "C" void Import_IO_MakeNameUnique(SgToken instance, const char* wanted, char* buffer) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_MakeNameUnique()", [&] { vxhost::MakeNameUnique(instance, wanted, buffer); });
  vxhost::AfterHostCall();
}

extern "C" int16_t Import_IO_Get_DefaultAnimationChannelPtrs(const char* name, void** table) {
  vxhost::EnterHostCall();
  int16_t answer = 0;
  vxhost::Guarded("Import_IO_Get_DefaultAnimationChannelPtrs()", [&] { answer = vxhost::GetDefaultChannels(name, table); });
  vxhost::AfterHostCall();
  return answer;
}

extern "C" void Import_IO_OptimizeTransformationChannels(const char* name) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_OptimizeTransformationChannels()", [&] { vxhost::OptimizeChannels(name); });
  vxhost::AfterHostCall();
}
