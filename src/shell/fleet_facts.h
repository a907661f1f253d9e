#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/controller_info.h"
#include "platform/registry_access.h"
#include "platform/session.h"

namespace ordex {

// The facts a fleet's inventory reads from FactsKey (ConfigMgr's hardware inventory, Intune's
// scripts, any tool with a registry table): the summary's values, and which ORDEX collects them
// where since when. Written at the end of start-up and after each change, never by a pass that
// found nothing new.

enum class FactType { kString, kDword };

// One value of the facts key.
struct Fact {
  std::string name;
  FactType type = FactType::kString;
  std::string text;         // kString
  std::int32_t number = 0;  // kDword
};

// What the running collector adds to the summary's values.
struct CollectorFacts {
  std::int32_t change_count = 0;
  std::string_view ordex_version;
  std::chrono::system_clock::time_point started;
  std::optional<std::chrono::system_clock::time_point> last_change;
  SessionIdentity session;
};

// The values in their order: the summary's seven under its key texts without ": " ("Version",
// "Steuerung", ... "Sensor"), with exactly the text the summary holds; then "ChangeCount"
// (DWORD), "OrdexVersion", "Started", "LastChange" (UTC, empty before a change), "Session" and
// "User".
std::vector<Fact> FactsOf(const ControllerInfo& info, const CollectorFacts& collector);

// Writes the facts under FactsKey, creating the key, in one write where the store is one file.
// False when they may not be written (a PC where no package made the key writable for this
// user); a failing call throws Error.
bool WriteFacts(RegistryAccess& registry, std::span<const Fact> facts);

}  // namespace ordex
