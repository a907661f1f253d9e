// The administrative template checked offline against the program that reads its policies: the
// references between its two files, and the key, value names and range taken from the
// program's own constants. (Well-formedness: the CTest entry PolicyTemplateWellFormed, xmllint.)
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <regex>
#include <set>
#include <string>

#include "shell/main_window.h"
#include "test_helpers.h"

namespace ordex {
namespace {

std::string Template(const char* relative) {
  return testing::ReadBytes(testing::SourceDir() / "installer/policy" / relative);
}

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

TEST(PolicyTemplate, EveryReferenceResolves) {
  const std::string admx = Template("ORDEX.admx");
  const std::string adml = Template("en-US/ORDEX.adml");
  const auto strings = All(adml, R"re(<string id="([^"]+)")re");
  for (const auto& id : All(admx, R"re(\$\(string\.([^)]+)\))re"))
    EXPECT_TRUE(strings.contains(id)) << id;
  const auto presentations = All(adml, R"re(<presentation id="([^"]+)")re");
  for (const auto& id : All(admx, R"re(\$\(presentation\.([^)]+)\))re"))
    EXPECT_TRUE(presentations.contains(id)) << id;
  const auto elements = All(admx, R"re(<decimal id="([^"]+)")re");
  for (const auto& id : All(adml, R"re(refId="([^"]+)")re"))
    EXPECT_TRUE(elements.contains(id)) << id;
  const auto categories = All(admx, R"re(<category name="([^"]+)")re");
  for (const auto& id : All(admx, R"re(<parentCategory ref="([^"]+)")re"))
    EXPECT_TRUE(categories.contains(id)) << id;
  const auto supported = All(admx, R"re(<definition name="([^"]+)")re");
  for (const auto& id : All(admx, R"re(<supportedOn ref="([^"]+)")re"))
    EXPECT_TRUE(supported.contains(id)) << id;
}

TEST(PolicyTemplate, AimsAtTheKeyAndValuesTheProgramReadsWithinWhatItAccepts) {
  const std::string admx = Template("ORDEX.admx");
  const std::string adml = Template("en-US/ORDEX.adml");
  EXPECT_EQ(One(admx, R"re(key="([^"]+)")re"), PolicyKey);
  EXPECT_EQ(One(admx, R"re(<policy [^>]*valueName="([^"]+)")re"), kVisibleName);
  EXPECT_EQ(One(admx, R"re(<decimal id="[^"]+" valueName="([^"]+)")re"), kTimerIntervalName);
  // Enabled shows the window, disabled hides it, as the program reads "Visible".
  EXPECT_NE(One(admx, R"re(<enabledValue>\s*<decimal value="(\d+)")re"), "0");
  EXPECT_EQ(One(admx, R"re(<disabledValue>\s*<decimal value="(\d+)")re"), "0");
  // Every interval the template lets through keeps the refresh running, and its default is the
  // program's.
  const std::int64_t lowest = std::stoll(One(admx, R"re(minValue="(\d+)")re"));
  const std::int64_t highest = std::stoll(One(admx, R"re(maxValue="(\d+)")re"));
  const std::int64_t preset = std::stoll(One(adml, R"re(defaultValue="(\d+)")re"));
  EXPECT_GE(lowest, kLowestRunningTimerInterval);
  EXPECT_LE(highest, std::numeric_limits<std::int32_t>::max());
  EXPECT_LE(lowest, preset);
  EXPECT_LE(preset, highest);
  EXPECT_EQ(preset, kDefaultTimerInterval);
  const std::string help = One(adml, R"re(<string id="TimerInterval_Help">([^<]+)<)re");
  // Whole numbers: "1000" is not found inside "10000".
  const auto numbers_in_help = All(help, R"re((\d+))re");
  EXPECT_TRUE(numbers_in_help.contains(std::to_string(lowest))) << "the documented range";
  EXPECT_TRUE(numbers_in_help.contains(std::to_string(highest))) << "the documented range";
}

}  // namespace
}  // namespace ordex
