// The sensor driver scan on arbitrary driver files. Its results must not depend on where the
// file's pieces happen to end: the same whatever the chunking, the same after shifting the
// content by leading NULs, and the same as a plain reading of the whole content at once.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/sensor_driver.h"
#include "core/text.h"
#include "fuzz_support.h"

namespace {

using ordex::SensorDriverScan;
using ordex::SensorInfo;
using ordex::fuzz::Require;

constexpr std::string_view kVersionText = "%s - Version %s";
constexpr std::string_view kFormatText = "Dateiformat : %s";
constexpr std::size_t kMaxShift = 10000;

SensorInfo ScanInChunks(std::string_view content, std::uint32_t seed) {
  std::minstd_rand random(seed);
  // Mostly small pieces (gathered before they are scanned), now and then one longer than a kept
  // text (scanned where it lies), so that markers meet both paths and the seams between them.
  std::uniform_int_distribution<std::size_t> small(0, 32);
  std::uniform_int_distribution<std::size_t> large(0, 2 * SensorDriverScan::kKeptTextLength + 64);
  SensorDriverScan scan;
  while (!content.empty()) {
    const std::size_t length =
        std::min(content.size(), random() % 8 == 0 ? large(random) : small(random));
    scan.Feed(content.substr(0, length));
    content.remove_prefix(length);
  }
  Require(scan.RetainedBytes() <= 8 * SensorDriverScan::kKeptTextLength + 1024,
          "the scan keeps bounded memory");
  return scan.Result();
}

std::string_view KeptTail(std::string_view text) {
  const std::size_t kept = SensorDriverScan::kKeptTextLength;
  return text.size() > kept ? text.substr(text.size() - kept) : text;
}

std::string Trimmed(std::string_view text) { return std::string(ordex::TrimSpaces(text)); }

// The far text's first two "."-separated pieces, each trimmed; the whole text when it has no ".".
std::string FirstTwoPieces(std::string_view far_text) {
  const auto dot = far_text.find('.');
  if (dot == std::string_view::npos) return std::string(far_text);
  std::string_view rest = far_text.substr(dot + 1);
  rest = rest.substr(0, rest.find('.'));
  return Trimmed(far_text.substr(0, dot)) + "." + Trimmed(rest);
}

// A reading of the whole content at once: split into NUL-ended texts, then look at every text
// that follows a NUL.
SensorInfo ReferenceScan(std::string_view content) {
  std::vector<std::string_view> texts;
  for (;;) {
    const auto nul = content.find('\0');
    texts.push_back(content.substr(0, nul));
    if (nul == std::string_view::npos) break;
    content.remove_prefix(nul + 1);
  }
  SensorInfo result;
  for (std::size_t i = 1; i < texts.size(); ++i) {
    const std::string_view near_text = KeptTail(texts[i - 1]);
    if (texts[i].starts_with(kFormatText)) result.driver_version = Trimmed(near_text);
    if (texts[i].starts_with(kVersionText)) {
      const std::string_view far_text = i >= 2 ? KeptTail(texts[i - 2]) : std::string_view();
      result.sensor = Trimmed(near_text) + "_" + Trimmed(FirstTwoPieces(far_text));
    }
  }
  return result;
}

bool Same(const SensorInfo& a, const SensorInfo& b) {
  return a.sensor == b.sensor && a.driver_version == b.driver_version;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::size_t shift = provider.ConsumeIntegralInRange<std::size_t>(0, kMaxShift);
  const std::uint32_t seed = provider.ConsumeIntegral<std::uint32_t>();
  const std::string content = provider.ConsumeRemainingBytesAsString();

  const SensorInfo whole = ordex::ScanSensorDriver(content);
  Require(Same(whole, ReferenceScan(content)), "the scan agrees with a whole-file reading");
  Require(Same(whole, ScanInChunks(content, seed)), "chunking does not change the results");

  // A NUL in front of a content that starts with a marker's fixed text makes it a marker.
  if (content.starts_with(kVersionText) || content.starts_with(kFormatText)) return 0;
  const std::string shifted = std::string(shift, '\0') + content;
  Require(Same(whole, ordex::ScanSensorDriver(shifted)), "leading NULs do not change the results");
  Require(Same(whole, ScanInChunks(shifted, seed ^ 0x5a5a5a5au)),
          "leading NULs and chunking do not change the results");
  return 0;
}
