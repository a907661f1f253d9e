#include "shell/settings.h"

#include <algorithm>

namespace ordex {
namespace {

constexpr bool EachSettingStandsAtItsId() {
  for (std::size_t place = 0; place < std::size(kSettings); ++place) {
    if (static_cast<std::size_t>(kSettings[place].id) != place) return false;
  }
  return true;
}
static_assert(EachSettingStandsAtItsId(), "SettingOf and Settings::Value find a setting by its id");

constexpr std::size_t kReadCount = [] {
  std::size_t count = 0;
  for (const Setting& setting : kSettings) count += setting.keys.size();
  return count;
}();

}  // namespace

Settings::Settings() {
  for (const Setting& setting : kSettings) {
    const auto place = static_cast<std::size_t>(setting.id);
    values_[place] = last_given_[place] = setting.default_value;
  }
}

// However a value was written (a DWORD, a QWORD, a number as text), one that reads is never
// overwritten. A policy removed lets go at the next read, even where the settings key holds
// nothing (a standard user may not write the defaults).
void Settings::Read(RegistryAccess& registry, bool write_back_defaults) {
  std::array<DwordRead, kReadCount> reads;
  auto next = reads.begin();
  for (const Setting& setting : kSettings) {
    for (const std::string_view key : setting.keys) *next++ = {key, setting.name};
  }
  registry.ReadDwords(HKEY_LOCAL_MACHINE_ROOT, reads);
  std::span<const DwordRead> rest = reads;
  for (const Setting& setting : kSettings) {
    const auto given = rest.first(setting.keys.size());
    rest = rest.subspan(setting.keys.size());
    const auto place = static_cast<std::size_t>(setting.id);
    const DwordRead& own = given.back();
    if (own.ok) last_given_[place] = own.value;
    const auto first =
        std::find_if(given.begin(), given.end(), [](const DwordRead& read) { return read.ok; });
    values_[place] = first != given.end() ? first->value : last_given_[place];
    if (!write_back_defaults || own.ok) continue;
    bool written = false;  // not examined: a store this user may not write is no reason to stop
    registry.WriteDword(HKEY_LOCAL_MACHINE_ROOT, own.key_path, setting.name, setting.default_value,
                        written);
  }
}

}  // namespace ordex
