// The registry store parser and its write-back on arbitrary files. A file is either refused
// with Error or read; a file that was read comes back byte for byte when nothing was set, and
// setting one DWORD changes that value's line (or adds lines) and nothing else.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/case_fold.h"
#include "core/error.h"
#include "fuzz_support.h"
#include "registry/reg_store.h"
#include "shell/settings.h"

namespace {

using ordex::RegStore;
using ordex::fuzz::Require;

constexpr ordex::RootKey kMachine = ordex::HKEY_LOCAL_MACHINE_ROOT;
constexpr std::string_view kMachinePrefix = "[HKEY_LOCAL_MACHINE\\";

struct ValueRef {
  std::string key;
  std::string name;
};

bool IsUtf16(std::string_view bytes) { return bytes.starts_with("\xff\xfe"); }

// The store's text with UTF-16 turned into one byte per character (the low byte): enough to
// find the ASCII names of keys and values that the store holds.
std::string NarrowText(std::string_view bytes) {
  if (!IsUtf16(bytes)) return std::string(bytes);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  return text;
}

// The same for the bytes of one line, without a byte order mark.
std::string NarrowLine(std::string_view raw, bool utf16) {
  if (!utf16) return std::string(raw);
  std::string text;
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2) text += raw[i];
  return text;
}

// Key and value names as the store spells them: each quoted value name with the key above it.
std::vector<ValueRef> NamesInStore(std::string_view bytes) {
  std::vector<ValueRef> refs;
  std::string key;
  const std::string text = NarrowText(bytes);
  std::string_view rest = text;
  while (!rest.empty() && refs.size() < 16) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with(kMachinePrefix) && line.ends_with(']')) {
      key =
          std::string(line.substr(kMachinePrefix.size(), line.size() - kMachinePrefix.size() - 1));
    } else if (line.starts_with('"') && !key.empty()) {
      const auto close = line.find('"', 1);
      if (close != std::string_view::npos)
        refs.push_back({key, std::string(line.substr(1, close - 1))});
    }
  }
  return refs;
}

std::string FlipCase(std::string text, std::uint32_t pattern) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (((pattern >> (i % 32)) & 1) == 0) continue;
    if (c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') text[i] = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

struct Reading {
  std::optional<std::int32_t> dword;
  std::optional<std::string> text;
  bool operator==(const Reading&) const = default;
};

Reading Read(const RegStore& store, const ValueRef& ref) {
  Reading reading;
  std::int32_t dword = 0;
  if (store.ReadDword(kMachine, ref.key, ref.name, dword)) reading.dword = dword;
  std::string text;
  if (store.ReadString(kMachine, ref.key, ref.name, text)) reading.text = text;
  return reading;
}

struct Line {
  std::string raw;
  std::string ending;
  bool operator==(const Line&) const = default;
};

// The lines of a store as the registry reads them: ended by CR LF, a lone LF or a lone CR, in
// characters of one or two bytes.
std::vector<Line> LinesOf(std::string_view bytes) {
  const std::size_t unit = IsUtf16(bytes) ? 2 : 1;
  if (unit == 2) bytes.remove_prefix(2);
  const auto is = [&](std::size_t at, char c) {
    return at + unit <= bytes.size() && bytes[at] == c && (unit == 1 || bytes[at + 1] == '\0');
  };
  std::vector<Line> lines;
  std::size_t start = 0;
  for (std::size_t at = 0; at + unit <= bytes.size(); at += unit) {
    if (!is(at, '\r') && !is(at, '\n')) continue;
    std::size_t end = at + unit;
    if (is(at, '\r') && is(end, '\n')) end += unit;
    lines.push_back(
        {std::string(bytes.substr(start, at - start)), std::string(bytes.substr(at, end - at))});
    start = end;
    at = end - unit;
  }
  if (start < bytes.size()) lines.push_back({std::string(bytes.substr(start)), ""});
  return lines;
}

// Setting one value either rewrites the line of that value (a hex value continued over several
// lines becomes one line) or only adds lines; the store's other lines stay as they were.
bool OnlyOneValueChanged(std::string_view before, std::string_view after) {
  // Bytes inserted at one place, every old byte kept (also an empty store written from scratch).
  std::size_t same_start = 0;
  while (same_start < before.size() && same_start < after.size() &&
         before[same_start] == after[same_start])
    ++same_start;
  std::size_t same_end = 0;
  while (same_end < before.size() - same_start && same_end < after.size() - same_start &&
         before[before.size() - 1 - same_end] == after[after.size() - 1 - same_end])
    ++same_end;
  if (same_start + same_end == before.size()) return true;
  const std::vector<Line> old_lines = LinesOf(before);
  const std::vector<Line> new_lines = LinesOf(after);
  std::size_t prefix = 0;
  while (prefix < old_lines.size() && prefix < new_lines.size() &&
         old_lines[prefix] == new_lines[prefix])
    ++prefix;
  std::size_t suffix = 0;
  while (suffix < old_lines.size() - prefix && suffix < new_lines.size() - prefix &&
         old_lines[old_lines.size() - 1 - suffix] == new_lines[new_lines.size() - 1 - suffix])
    ++suffix;
  const std::size_t removed = old_lines.size() - prefix - suffix;
  const std::size_t added = new_lines.size() - prefix - suffix;
  if (removed == 0) return true;
  const Line& first_removed = old_lines[prefix];
  const Line& first_added = new_lines[prefix];
  // A last line without an end gets one before lines are added after it.
  if (removed == 1 && first_removed.ending.empty() && first_removed.raw == first_added.raw)
    return true;
  if (added != 1) return false;
  const bool utf16 = IsUtf16(before);
  const std::string old_text = NarrowLine(first_removed.raw, utf16);
  const std::string new_text = NarrowLine(first_added.raw, utf16);
  const auto equals = old_text.find('=');
  const bool same_name = equals != std::string::npos && new_text.size() > equals &&
                         new_text.compare(0, equals + 1, old_text, 0, equals + 1) == 0;
  const bool continued_value = old_text.find('\\', equals) != std::string::npos;
  return same_name && (removed == 1 || continued_value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const auto choice = provider.ConsumeIntegral<std::uint8_t>();
  const auto case_pattern = provider.ConsumeIntegral<std::uint32_t>();
  const auto new_value = provider.ConsumeIntegral<std::int32_t>();
  const std::string bytes = provider.ConsumeRemainingBytesAsString();

  std::optional<RegStore> parsed;
  try {
    parsed.emplace(RegStore::Parse(bytes, "fuzz.reg"));
  } catch (const ordex::Error&) {
    return 0;  // refused with a message: fine
  }
  Require(parsed->Serialize() == bytes, "an untouched store is written back byte for byte");

  // Write either one of the program's own settings or a value the store names, spelled in
  // another case now and then: the store compares names as the registry does.
  std::vector<ValueRef> refs = NamesInStore(bytes);
  for (const ordex::Setting& setting : ordex::kSettings) {
    for (const std::string_view key : setting.keys) {
      refs.push_back({std::string(key), std::string(setting.name)});
    }
  }
  ValueRef target = refs[choice % refs.size()];
  target.key = FlipCase(target.key, case_pattern);
  target.name = FlipCase(target.name, case_pattern >> 7);

  std::vector<Reading> others_before;
  for (const auto& ref : refs) others_before.push_back(Read(*parsed, ref));

  try {
    parsed->WriteDword(kMachine, target.key, target.name, new_value);
  } catch (const ordex::Error&) {
    return 0;  // a name that cannot be written on one line
  }
  const std::string written = parsed->Serialize();
  Require(OnlyOneValueChanged(bytes, written), "only the written value's line changes");

  std::optional<RegStore> reread;
  try {
    reread.emplace(RegStore::Parse(written, "fuzz.reg"));
  } catch (const ordex::Error& error) {
    Require(false, std::string("a written store reads back: ") + error.what());
  }
  Require(reread->Serialize() == written, "a written store is stable");
  std::int32_t value = 0;
  Require(reread->ReadDword(kMachine, target.key, target.name, value) && value == new_value,
          "the written value reads back");
  for (std::size_t i = 0; i < refs.size(); ++i) {
    const bool is_target = ordex::EqualIgnoringCase(refs[i].key, target.key) &&
                           ordex::EqualIgnoringCase(refs[i].name, target.name);
    if (!is_target) Require(Read(*reread, refs[i]) == others_before[i], "other values stay");
  }

  // Writing the same value again changes nothing.
  reread->WriteDword(kMachine, target.key, target.name, new_value);
  Require(reread->Serialize() == written, "writing the same value again changes nothing");
  return 0;
}
