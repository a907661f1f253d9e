#include "shell/fleet_facts.h"

#include <cstdio>
#include <utility>

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

std::string IsoUtcText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(floor<seconds>(time - day));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<long>(clock.hours().count()),
                static_cast<long>(clock.minutes().count()),
                static_cast<long>(clock.seconds().count()));
  return text;
}

}  // namespace ordex
