// What ships for administrators, checked offline: the administrative template against the
// program that reads its policies (the references between its files in each language, and the
// key, value names and range taken from the program's own constants); the message table in both
// languages; the event forwarding subscription against the event source and the administrator's
// page; the inventory extensions against the facts key. (Well-formedness: the CTest entry
// PolicyTemplateWellFormed, xmllint.)
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "shell/fleet_facts.h"
#include "shell/main_window.h"
#include "test_helpers.h"

namespace ordex {
namespace {

std::string Template(const std::string& relative) {
  return testing::ReadBytes(testing::SourceDir() / "installer/policy" / relative);
}

std::string Source(const char* relative) {
  return testing::ReadBytes(testing::SourceDir() / relative);
}

// The languages of the template's texts: the ADML of each.
constexpr const char* kAdmlFiles[] = {"en-US/ORDEX.adml", "de-DE/ORDEX.adml"};

// Every value of `group` 1 of `pattern` in `text`.
std::set<std::string> All(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    found.insert((*it)[1]);
  }
  return found;
}

std::string One(const std::string& text, const std::string& pattern) {
  const auto found = All(text, pattern);
  EXPECT_EQ(found.size(), 1u) << pattern;
  return found.empty() ? std::string() : *found.begin();
}

TEST(PolicyTemplate, EveryReferenceResolvesInEveryLanguage) {
  const std::string admx = Template("ORDEX.admx");
  for (const char* language : kAdmlFiles) {
    SCOPED_TRACE(language);
    const std::string adml = Template(language);
    const auto strings = All(adml, R"re(<string id="([^"]+)")re");
    for (const auto& id : All(admx, R"re(\$\(string\.([^)]+)\))re"))
      EXPECT_TRUE(strings.contains(id)) << id;
    const auto presentations = All(adml, R"re(<presentation id="([^"]+)")re");
    for (const auto& id : All(admx, R"re(\$\(presentation\.([^)]+)\))re"))
      EXPECT_TRUE(presentations.contains(id)) << id;
    const auto elements = All(admx, R"re(<decimal id="([^"]+)")re");
    for (const auto& id : All(adml, R"re(refId="([^"]+)")re"))
      EXPECT_TRUE(elements.contains(id)) << id;
  }
  const auto categories = All(admx, R"re(<category name="([^"]+)")re");
  for (const auto& id : All(admx, R"re(<parentCategory ref="([^"]+)")re"))
    EXPECT_TRUE(categories.contains(id)) << id;
  const auto supported = All(admx, R"re(<definition name="([^"]+)")re");
  for (const auto& id : All(admx, R"re(<supportedOn ref="([^"]+)")re"))
    EXPECT_TRUE(supported.contains(id)) << id;
}

TEST(PolicyTemplate, AimsAtTheKeyAndValuesTheProgramReadsWithinWhatItAccepts) {
  const std::string admx = Template("ORDEX.admx");
  EXPECT_EQ(One(admx, R"re(key="([^"]+)")re"), PolicyKey);
  EXPECT_EQ(One(admx, R"re(<policy [^>]*valueName="([^"]+)")re"),
            SettingOf(SettingId::kVisible).name);
  EXPECT_EQ(One(admx, R"re(<decimal id="[^"]+" valueName="([^"]+)")re"),
            SettingOf(SettingId::kTimerInterval).name);
  // Enabled shows the window, disabled hides it, as the program reads "Visible".
  EXPECT_NE(One(admx, R"re(<enabledValue>\s*<decimal value="(\d+)")re"), "0");
  EXPECT_EQ(One(admx, R"re(<disabledValue>\s*<decimal value="(\d+)")re"), "0");
  // Every interval the template lets through keeps the refresh running, and its default (in
  // every language) is the program's.
  const std::int64_t lowest = std::stoll(One(admx, R"re(minValue="(\d+)")re"));
  const std::int64_t highest = std::stoll(One(admx, R"re(maxValue="(\d+)")re"));
  EXPECT_GE(lowest, kLowestRunningTimerInterval);
  EXPECT_LE(highest, std::numeric_limits<std::int32_t>::max());
  for (const char* language : kAdmlFiles) {
    SCOPED_TRACE(language);
    const std::string adml = Template(language);
    const std::int64_t preset = std::stoll(One(adml, R"re(defaultValue="(\d+)")re"));
    EXPECT_LE(lowest, preset);
    EXPECT_LE(preset, highest);
    EXPECT_EQ(preset, SettingOf(SettingId::kTimerInterval).default_value);
    const std::string help = One(adml, R"re(<string id="TimerInterval_Help">([^<]+)<)re");
    // Whole numbers: "1000" is not found inside "10000".
    const auto numbers_in_help = All(help, R"re((\d+))re");
    EXPECT_TRUE(numbers_in_help.contains(std::to_string(lowest))) << "the documented range";
    EXPECT_TRUE(numbers_in_help.contains(std::to_string(highest))) << "the documented range";
  }
}

// Each entry of the message table, by its number: its text per language, in the order written.
std::map<std::string, std::map<std::string, std::string>> MessageTable() {
  const std::string mc = Source("src/platform/ordex_messages.mc");
  std::map<std::string, std::map<std::string, std::string>> table;
  std::string id;
  const std::regex entry(R"re(MessageId=(\d+)|Language=(\w+)\r?\n([\s\S]*?)\r?\n\.\r?\n)re");
  for (auto it = std::sregex_iterator(mc.begin(), mc.end(), entry); it != std::sregex_iterator();
       ++it) {
    if ((*it)[1].matched) {
      id = (*it)[1];
    } else {
      table[id][(*it)[2]] = (*it)[3];
    }
  }
  return table;
}

// A collector's rules read the insertion strings by position: both languages use the same ones.
TEST(MessageTable, EveryEntryIsInEnglishAndGermanWithTheSameInsertionStrings) {
  const auto table = MessageTable();
  ASSERT_GE(table.size(), 9u);
  for (const auto& [id, texts] : table) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(texts.contains("English"));
    ASSERT_TRUE(texts.contains("German"));
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(All(texts.at("German"), R"re((%\d+))re"), All(texts.at("English"), R"re((%\d+))re"));
  }
}

// The subscription gathers the events of the source the package registers, with the query the
// administrator's page gives, and the page lists every event of the message table.
TEST(EventForwarding, TheSubscriptionAndThePageCoverEveryEventOfTheSource) {
  const std::string subscription = Source("installer/forwarding/ORDEX-subscription.xml");
  const std::string page = Source("docs/administrator.md");
  const std::string source =
      One(Source("installer/ordex.wxs"), R"re(Services\\EventLog\\Application\\([^"]+)")re");
  EXPECT_NE(Source("src/platform/event_log_win32.cpp")
                .find("RegisterEventSourceW(nullptr, L\"" + source + "\")"),
            std::string::npos)
      << "the source the program writes as";
  const std::string query = One(subscription, R"re(<Select Path="Application">([^<]+)<)re");
  EXPECT_EQ(query, "*[System[Provider[@Name='" + source + "']]]");
  EXPECT_EQ(One(subscription, R"re(<Query Id="0" Path="([^"]+)")re"), "Application");
  EXPECT_NE(page.find(query), std::string::npos) << "the query on the administrator's page";
  const auto listed = All(page, R"re(\n\| (\d+) \|)re");
  for (const auto& [id, texts] : MessageTable()) EXPECT_TRUE(listed.contains(id)) << id;
}

// The inventory extensions against what ORDEX writes into the facts key (FactsOf): each property
// the class for configuration.mof reads is a value of that key with the value's type (string:
// REG_SZ, uint32: REG_DWORD), and each value is read; the reporting class reports the class's
// properties with their types; the Intune script reads every value.
TEST(InventoryExtension, EveryPropertyReadsAValueOrdexWritesWithItsType) {
  std::map<std::string, std::string> written;
  for (const Fact& fact : FactsOf(ControllerInfo{}, CollectorFacts{}))
    written[fact.name] = fact.type == FactType::kDword ? "uint32" : "string";
  const auto types = [](const std::string& mof) {
    std::map<std::string, std::string> found;
    const std::regex declaration(R"(\s(string|uint32) (\w+);)");
    for (auto it = std::sregex_iterator(mof.begin(), mof.end(), declaration);
         it != std::sregex_iterator(); ++it) {
      found[(*it)[2]] = (*it)[1];
    }
    return found;
  };
  const std::string configuration = Source("installer/inventory/ORDEX-configuration.mof");
  const auto properties = types(configuration);
  std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(FactsKey);
  for (std::size_t at = 0; (at = key.find('\\', at)) != std::string::npos; at += 2)
    key.insert(at, 1, '\\');  // as a MOF string writes it
  std::map<std::string, std::string> read;
  const std::regex context(R"re(\[PropertyContext\("Local\|([^|"]+)\|([^"]+)"\)[^\]]*\] (\w+);)re");
  for (auto it = std::sregex_iterator(configuration.begin(), configuration.end(), context);
       it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[1], key);
    ASSERT_TRUE(properties.contains((*it)[3])) << (*it)[3];
    read[(*it)[2]] = properties.at((*it)[3]);
  }
  EXPECT_EQ(read, written);
  EXPECT_EQ(types(Source("installer/inventory/ORDEX-reporting.mof")), properties);
  std::set<std::string> scripted;
  const std::string script = Source("installer/inventory/ORDEX-facts.ps1");
  const auto names =
      script.substr(script.find("$names ="), script.find("$machine") - script.find("$names ="));
  for (const auto& name : All(names, R"('([\w-]+)')")) scripted.insert(name);
  std::set<std::string> value_names;
  for (const auto& [name, type] : written) value_names.insert(name);
  EXPECT_EQ(scripted, value_names);
}

}  // namespace
}  // namespace ordex
