#include "shell/fleet_facts.h"

#include <utility>

#include "core/utc_text.h"
#include "report/summary_file.h"
#include "shell/settings.h"

namespace ordex {
namespace {

// "Version: " names the value "Version".
std::string_view NameOfKeyText(std::string_view key) {
  while (!key.empty() && (key.back() == ' ' || key.back() == ':')) key.remove_suffix(1);
  return key;
}

Fact Text(std::string_view name, std::string text) {
  return {std::string(name), FactType::kString, std::move(text), 0};
}

}  // namespace

std::vector<Fact> FactsOf(const ControllerInfo& info, const CollectorFacts& collector) {
  std::vector<Fact> facts;
  for (auto& [key, value] : SummaryLines(info))
    facts.push_back(Text(NameOfKeyText(key), std::move(value)));
  facts.push_back({"ChangeCount", FactType::kDword, {}, collector.change_count});
  facts.push_back(Text("OrdexVersion", std::string(collector.ordex_version)));
  facts.push_back(Text("Started", IsoUtcText(collector.started)));
  facts.push_back(
      Text("LastChange", collector.last_change ? IsoUtcText(*collector.last_change) : ""));
  facts.push_back(Text("Session", collector.session.session));
  facts.push_back(Text("User", collector.session.user));
  return facts;
}

bool WriteFacts(RegistryAccess& registry, std::span<const Fact> facts) {
  std::vector<ValueWrite> writes;
  writes.reserve(facts.size());
  for (const Fact& fact : facts) {
    writes.push_back({fact.name,
                      fact.type == FactType::kDword ? std::optional(fact.number) : std::nullopt,
                      fact.text});
  }
  bool ok = false;
  registry.WriteValues(HKEY_LOCAL_MACHINE_ROOT, FactsKey, writes, ok);
  return ok;
}

}  // namespace ordex
