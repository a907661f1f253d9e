#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/registry_access.h"

namespace ordex {

// The controller's key, which ORDEX only reads, and ORDEX's own settings key.
inline constexpr std::string_view VersionKey = "SOFTWARE\\Tarvex Roboter GmbH\\Version";
inline constexpr std::string_view SettingsKey =
    "SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer Preferences\\ZT\\Service\\ORDEX";

// Where ORDEX keeps the facts of this PC for a fleet's inventory tools, which read the registry
// but no file of the controller's tree; only ORDEX writes it (see fleet_facts.h).
inline constexpr std::string_view FactsKey =
    "SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer Preferences\\ZT\\Service\\ORDEX\\Facts";

// Where a fleet's administrator sets the settings by Group Policy. A value here that reads as a
// number wins over the settings key's; the program never writes it.
inline constexpr std::string_view PolicyKey = "SOFTWARE\\Policies\\Tarvex Roboter GmbH\\ORDEX";

// The keys a setting that Group Policy steers is read from, the one that wins first.
inline constexpr std::string_view kPolicyThenSettingsKey[] = {PolicyKey, SettingsKey};

enum class SettingId : std::size_t { kTimerInterval, kVisible };

// One setting of the program. It is read from each of `keys` in turn, and the first that holds a
// number gives it. The last key is the setting's own: what it gave last stays the setting's when
// it gives nothing any more (a policy removed falls back to it), and the default is written
// there when it holds nothing at start-up, so that a technician finds the setting to change. The
// keys before it (a policy) are never remembered and never written.
struct Setting {
  SettingId id;
  std::string_view name;
  std::int32_t default_value;
  std::span<const std::string_view> keys;
};

// Every setting, in the order of SettingId.
inline constexpr Setting kSettings[] = {
    {SettingId::kTimerInterval, "TimerInterval", 10000, kPolicyThenSettingsKey},
    {SettingId::kVisible, "Visible", 0, kPolicyThenSettingsKey},
};

constexpr const Setting& SettingOf(SettingId id) { return kSettings[static_cast<std::size_t>(id)]; }

// The settings as the registry gave them last, and what each setting's own key gave last.
class Settings {
 public:
  Settings();

  // Reads every setting from its keys, all in one look at the store. With
  // `write_back_defaults`, each setting its own key does not give gets its default written
  // there; a store this user may not write is no reason to stop. A failing read throws Error.
  void Read(RegistryAccess& registry, bool write_back_defaults);

  std::int32_t Value(SettingId id) const { return values_[static_cast<std::size_t>(id)]; }

 private:
  std::array<std::int32_t, std::size(kSettings)> values_;
  std::array<std::int32_t, std::size(kSettings)> last_given_;
};

}  // namespace ordex
