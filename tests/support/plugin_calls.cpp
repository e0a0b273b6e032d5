// Entry-point calls and the read-back of messages and host errors.
#include "support/plugin_calls.h"

#include "varnex/host.h"

namespace vxtest {

int32_t CallPlugin(const std::vector<Item>& items, int32_t resultBefore) {
  std::vector<const char*> keywords;
  std::vector<void*> values;
  for (const Item& item : items) {
    keywords.push_back(item.keyword);
    values.push_back(item.value);
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  int32_t result = resultBefore;
  Varnex_Plugin_EntryPoint(keywords.data(), values.data(), &result, nullptr);
  return result;
}

int32_t Import(const std::string& path, const std::vector<Item>& driverItems) {
  std::vector<Item> items = {{"execute_geometry_converter", nullptr}, {"filename", Text(path)}};
  items.insert(items.end(), driverItems.begin(), driverItems.end());
  return CallPlugin(items);
}

int32_t Import(const std::string& path, const DriverOptions& options) {
  return Import(path, {{"distance_threshold", Text(options.distance)},
                       {"angular_threshold", Text(options.angle)},
                       {"ena_trans_kf_reduction", Number(options.reduceTranslation)},
                       {"ena_rot_kf_reduction", Number(options.reduceRotation)}});
}

int32_t ImportIntoFreshHost(const std::string& path, const DriverOptions& options) {
  vxhost::ResetHost();
  return Import(path, options);
}

int32_t Initialize(const std::string& settingsDirectory) {
  return CallPlugin({{"initialize", Text(settingsDirectory)}});
}

std::vector<std::string> PrintedTexts(bool keepMissingAmcNote) {
  std::vector<std::string> texts;
  for (const vxhost::Message& message : vxhost::Messages()) {
    if (message.kind != vxhost::MessageKind::Print) continue;
    if (!keepMissingAmcNote && message.text.rfind("Could not find a corresponding AMC file.", 0) == 0) continue;
    texts.push_back(message.text);
  }
  return texts;
}

std::string HostErrorText() {
  std::string text;
  for (const std::string& error : vxhost::HostErrors()) text += error + (error.ends_with('\n') ? "" : "\n");
  return text;
}

const vxhost::Channel* ChannelOf(const std::string& instance, int entry) {
  const vxhost::Instance* found = vxhost::FindInstance(instance);
  return found ? found->channels[entry] : nullptr;
}

std::vector<float> KeyValues(const std::string& instance, int entry) {
  std::vector<float> values;
  if (const vxhost::Channel* channel = ChannelOf(instance, entry))
    for (const vxhost::Key& key : channel->keys) values.push_back(key.value);
  return values;
}

std::vector<int32_t> KeyTimesOf(const std::string& instance, int entry) {
  std::vector<int32_t> times;
  if (const vxhost::Channel* channel = ChannelOf(instance, entry))
    for (const vxhost::Key& key : channel->keys) times.push_back(key.time);
  return times;
}

}  // namespace vxtest
