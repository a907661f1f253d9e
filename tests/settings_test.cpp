// The table of the settings against what reads it, what writes it back and the administrative
// template. (Form1 reading its settings at start-up and on every pass: its own tests.)
#include "shell/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "registry/registry_memory.h"
#include "test_helpers.h"

namespace ordex {
namespace {

// Whether the template has a policy that writes `name` below `key`.
bool TemplateSets(const std::string& admx, std::string_view key, std::string_view name) {
  for (auto policy = admx.find("<policy "); policy != std::string::npos;
       policy = admx.find("<policy ", policy + 1)) {
    const std::string body = admx.substr(policy, admx.find("</policy>", policy) - policy);
    if (body.find("key=\"" + std::string(key) + "\"") != std::string::npos &&
        body.find("valueName=\"" + std::string(name) + "\"") != std::string::npos) {
      return true;
    }
  }
  return false;
}

// Each setting: with no value anywhere it has its default, written back into its own key only
// where the store may be written; each of its keys gives it, the first that holds a number
// winning; a key that lets go leaves it to the keys after it, and at last to what its own key
// gave last, or the default where it never gave one; every key before its own is a policy of
// the template.
TEST(SettingsTable, EveryRowReachesTheReadsTheWriteBackAndThePolicyTemplate) {
  const std::string admx = testing::ReadBytes(testing::SourceDir() / "installer/policy/ORDEX.admx");
  for (const Setting& setting : kSettings) {
    SCOPED_TRACE(setting.name);
    ASSERT_FALSE(setting.keys.empty());
    MemoryRegistry registry;
    const auto access = registry.Open();
    const auto stored = [&](std::string_view key) -> std::optional<std::int32_t> {
      std::int32_t value = 0;
      bool ok = false;
      access->ReadDword(HKEY_LOCAL_MACHINE_ROOT, key, setting.name, value, ok);
      return ok ? std::optional(value) : std::nullopt;
    };
    Settings settings;
    registry.writable = false;
    for (const std::string_view policy : setting.keys.first(setting.keys.size() - 1)) {
      settings.Read(*access, true);
      EXPECT_EQ(settings.Value(setting.id), setting.default_value);
      registry.Import(testing::RegDwordValue(policy, setting.name, 3000));
      settings.Read(*access, true);
      EXPECT_EQ(settings.Value(setting.id), 3000);
      registry.Import(testing::RegRemoval(policy, ""));
    }
    EXPECT_EQ(stored(setting.keys.back()), std::nullopt);
    registry.writable = true;
    settings.Read(*access, true);
    EXPECT_EQ(settings.Value(setting.id), setting.default_value);
    for (std::size_t i = 0; i < setting.keys.size(); ++i) {
      const bool own = i + 1 == setting.keys.size();
      EXPECT_EQ(stored(setting.keys[i]), own ? std::optional(setting.default_value) : std::nullopt);
      if (!own) EXPECT_TRUE(TemplateSets(admx, setting.keys[i], setting.name)) << setting.keys[i];
    }
    // From the own key to the first: each key given a value wins over those after it.
    for (std::size_t i = setting.keys.size(); i-- > 0;) {
      const auto value = static_cast<std::int32_t>(4000 + i);
      registry.Import(testing::RegDwordValue(setting.keys[i], setting.name, value));
      settings.Read(*access, false);
      EXPECT_EQ(settings.Value(setting.id), value) << setting.keys[i];
    }
    const auto own_value = static_cast<std::int32_t>(4000 + setting.keys.size() - 1);
    for (std::size_t i = setting.keys.size(); i-- > 0;) {
      registry.Import(testing::RegRemoval(setting.keys[i], ""));
      settings.Read(*access, false);
      EXPECT_EQ(settings.Value(setting.id), i > 0 ? 4000 : own_value) << setting.keys[i];
    }
  }
}

}  // namespace
}  // namespace ordex
