// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/libplist/embedded_property_list.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace speech_bridge {

extern const unsigned char kEmbeddedInfoPlist[];
extern const std::size_t kEmbeddedInfoPlistSize;

std::string_view embeddedInfoPlist() {
  return {reinterpret_cast<const char*>(kEmbeddedInfoPlist), kEmbeddedInfoPlistSize};
}

namespace {

// Strings as they are; any other value only needs to be present.
std::string render(plist_t node) {
  if (plist_get_node_type(node) != PLIST_STRING) return {};
  char* value = nullptr;
  plist_get_string_val(node, &value);
  std::unique_ptr<char, decltype(&std::free)> owner(value, &std::free);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::optional<std::string> EmbeddedPropertyList::objectForInfoDictionaryKey(const std::string& key) const {
  std::call_once(parsed_, [this] { parse(); });
  const auto found = entries_.find(key);
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}

void EmbeddedPropertyList::parse() const {
  plist_t root = nullptr;
  plist_from_memory(bytes_.data(), static_cast<uint32_t>(bytes_.size()), &root);
  if (!root) return;
  std::unique_ptr<void, decltype(&plist_free)> owner(root, &plist_free);
  if (plist_get_node_type(root) != PLIST_DICT) return;

  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(root, &iterator);
  std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, iterator, &key, &value);
    if (!key) break;
    std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
    entries_.emplace(key, render(value));
  }
}

}  // namespace speech_bridge
