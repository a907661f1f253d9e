#include "registry/reg_store.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "core/case_fold.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/text.h"
#include "registry/registry_numbers.h"

namespace ordex {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct RootName {
  std::string_view name;
  RootKey root;
};

// Only the full names: regedit refuses abbreviations such as HKLM in a file.
constexpr std::array<RootName, 5> kRootNames = {{
    {"HKEY_CLASSES_ROOT", 0x80000000u},
    {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE_ROOT},
    {"HKEY_USERS", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", 0x80000005u},
}};

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexDigitValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

bool StartsWithAt(std::string_view text, std::size_t pos, std::string_view prefix) {
  return text.substr(pos, prefix.size()) == prefix;
}

char SingleCharOf(const std::string& converted, bool& lost) {
  if (converted.size() == 1) return converted[0];
  lost = true;
  return '?';
}

// A line as program text, with the byte offset in the raw line of each character, so that a
// change can be spliced into the raw bytes and leave the rest of the line untouched.
struct DecodedLine {
  std::string text;
  std::vector<std::size_t> offsets;  // one per character, then the raw length
  std::vector<bool> lost;            // per character: a '?' for one the code page lacks

  std::size_t RawOffset(std::size_t pos) const { return offsets[pos]; }
};

DecodedLine Decode(std::string_view raw, RegStore::Encoding encoding) {
  DecodedLine line;
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t length = 1;
    char c = raw[pos];
    bool lost = false;
    if (encoding == RegStore::Encoding::kUtf8) {
      std::size_t next = pos;
      c = NextUtf8AsCp1252(raw, next, lost);
      length = next - pos;
    } else if (encoding == RegStore::Encoding::kUtf16Le) {
      length = 2;
      const std::string converted = Utf16LeToCp1252(raw.substr(pos, 2), lost);
      // The second half of a surrogate pair belongs to the '?' of the first.
      if (converted.empty()) {
        pos += length;
        continue;
      }
      c = SingleCharOf(converted, lost);
    }
    line.text += c;
    line.offsets.push_back(pos);
    line.lost.push_back(lost);
    pos += length;
  }
  line.offsets.push_back(raw.size());
  return line;
}

// The header line as regedit reads it: exactly `header`, then only blanks and a comment.
bool IsHeaderLine(std::string_view line, std::string_view header) {
  if (!line.starts_with(header)) return false;
  const std::size_t end = SkipBlanks(line, header.size());
  return end == line.size() || line[end] == ';';
}

// The text of a string value written as hex bytes, up to its first NUL: UTF-16LE after a
// version 5 header, the 8-bit code page after REGEDIT4, as regedit writes each.
std::string HexText(std::string_view bytes, bool utf16, bool& lost) {
  if (!utf16) return std::string(bytes.substr(0, bytes.find('\0')));
  std::size_t end = 0;
  while (end + 1 < bytes.size() && (bytes[end] != '\0' || bytes[end + 1] != '\0')) end += 2;
  return Utf16LeToCp1252(bytes.substr(0, end), lost);
}

// Replaces %NAME% by the value of the environment variable, as Windows expands a REG_EXPAND_SZ:
// a name that is not set stays as written, and its closing '%' may open the next name.
std::string ExpandVariables(std::string_view text, bool& lost) {
  std::string expanded;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    expanded += text.substr(pos, open - pos);
    const std::string name = Cp1252ToUtf8(text.substr(open + 1, close - open - 1));
    // No variable name holds '=' or NUL; getenv would take them as part of another one.
    const bool valid =
        !name.empty() && name.find_first_of(std::string_view("=\0", 2)) == std::string::npos;
    const char* found = valid ? std::getenv(name.c_str()) : nullptr;
    if (found) {
      expanded += Utf8ToCp1252(found, lost);
      pos = close + 1;
    } else {
      expanded += text.substr(open, close - open);
      pos = close;
    }
  }
  expanded += text.substr(pos);
  return expanded;
}

std::string LineError(std::string_view file_name, std::size_t line_index, std::string_view what) {
  return std::string(file_name) + ":" + std::to_string(line_index + 1) + ": " + std::string(what);
}

// The lines of `body` in code units of `unit_size` bytes, each with the bytes of its end.
template <typename LineT>
std::vector<LineT> SplitLines(std::string_view body, std::size_t unit_size) {
  std::vector<LineT> lines;
  ForEachLineAndEnd(body, unit_size, [&](std::string_view line, std::string_view end) {
    lines.push_back({std::string(line), std::string(end)});
    return true;
  });
  return lines;
}

const RootName* FindRootName(std::string_view name) {
  for (const auto& root : kRootNames) {
    if (EqualIgnoringCase(root.name, name)) return &root;
  }
  return nullptr;
}

std::string_view RootNameOf(RootKey root) {
  for (const auto& entry : kRootNames) {
    if (entry.root == root) return entry.name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(root));
  throw Error("unknown registry root key " + std::string(hex));
}

bool IsUnderKey(std::string_view path, std::string_view tree) {
  if (tree.empty()) return true;
  if (EqualIgnoringCase(path, tree)) return true;
  return path.size() > tree.size() && path[tree.size()] == '\\' &&
         EqualIgnoringCase(path.substr(0, tree.size()), tree);
}

std::string EscapeName(std::string_view name) {
  std::string escaped;
  for (const char c : name) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string DwordData(std::int32_t value) {
  char data[24];
  std::snprintf(data, sizeof data, "dword:%08x", static_cast<unsigned>(value));
  return data;
}

bool HoldsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A REG_SZ as hex(1): bytes with its NUL, UTF-16LE after a version 5 header and the 8-bit code
// page after REGEDIT4, as regedit exports it (HexText reads it back).
std::string StringAsHex(std::string_view text, bool utf16) {
  const std::string bytes =
      utf16 ? Cp1252ToUtf16Le(text) + std::string(2, '\0') : std::string(text) + '\0';
  std::string data = "hex(1):";
  char byte[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x",
                  static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
    data += byte;
  }
  return data;
}

void CheckWritableName(std::string_view what, std::string_view name) {
  if (HoldsLineBreakOrNul(name)) {
    throw Error("cannot write registry " + std::string(what) + " " + QuotedForMessage(name, '"') +
                ": it holds a line break or NUL");
  }
}

}  // namespace

// Applies the lines of a store, in file order, to its keys.
class RegStore::Parser {
 public:
  explicit Parser(RegStore& store) : store_(store) {}

  void Run() {
    store_.keys_.clear();
    for (line_index_ = 1; line_index_ < store_.lines_.size(); ++line_index_) {
      line_ = Decode(store_.lines_[line_index_].raw, store_.encoding_);
      if (continued_key_ != kNone) {
        ContinueHex();
        continue;
      }
      const std::size_t pos = SkipBlanks(text(), 0);
      if (pos == text().size() || text()[pos] == ';') continue;
      // Any other line (a note after '#', stray text, a Ctrl-Z at the end) is skipped, as
      // regedit skips it.
      if (text()[pos] == '[') {
        KeyLine(pos);
      } else if (text()[pos] == '"' || text()[pos] == '@') {
        ValueLine(pos);
      }
    }
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  const std::string& text() const { return line_.text; }

  [[noreturn]] void Fail(std::string_view what) const {
    throw Error(LineError(store_.file_name_, line_index_, what));
  }

  // After the data only blanks and a comment may follow.
  void ExpectEnd(std::size_t pos, std::string_view after) const {
    pos = SkipBlanks(text(), pos);
    if (pos < text().size() && text()[pos] != ';')
      Fail("unexpected text after the " + std::string(after));
  }

  void KeyLine(std::size_t pos) {
    continued_key_ = current_key_ = kNone;
    const bool deletion = StartsWithAt(text(), pos + 1, "-");
    const std::size_t name_begin = pos + (deletion ? 2 : 1);
    // As in regedit, the key name ends at the last ']' of the line.
    const std::size_t close = text().rfind(']');
    if (close == std::string::npos || close < name_begin) Fail("key name without closing ']'");
    ExpectEnd(close + 1, "key name");
    const std::string_view name = std::string_view(text()).substr(name_begin, close - name_begin);
    const std::size_t separator = name.find('\\');
    const RootName* root = FindRootName(name.substr(0, separator));
    if (!root) Fail("unknown root key " + QuotedForMessage(name.substr(0, separator), '"'));
    const std::string_view path =
        separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);
    if (deletion) {
      DeleteTree(root->root, path);
    } else {
      OpenKey(root->root, path);
    }
  }

  void DeleteTree(RootKey root, std::string_view path) {
    std::erase_if(store_.keys_,
                  [&](const Key& key) { return key.root == root && IsUnderKey(key.path, path); });
  }

  void OpenKey(RootKey root, std::string_view path) {
    auto& keys = store_.keys_;
    const auto found = std::find_if(keys.begin(), keys.end(), [&](const Key& key) {
      return key.root == root && EqualIgnoringCase(key.path, path);
    });
    current_key_ = static_cast<std::size_t>(found - keys.begin());
    if (found == keys.end()) keys.push_back({root, std::string(path), {}, 0});
    keys[current_key_].block_end_line = line_index_;
  }

  void ValueLine(std::size_t pos) {
    if (current_key_ == kNone) Fail("value outside of a key");
    Value value;
    if (text()[pos] == '@') {
      ++pos;
    } else {
      bool name_lost = false;
      value.name = QuotedText(pos, name_lost);
    }
    pos = SkipBlanks(text(), pos);
    if (!StartsWithAt(text(), pos, "=")) Fail("missing '=' after the value name");
    pos = SkipBlanks(text(), pos + 1);
    Key& key = store_.keys_[current_key_];
    key.block_end_line = line_index_;
    if (StartsWithAt(text(), pos, "-")) {
      ExpectEnd(pos + 1, "value deletion");
      std::erase_if(key.values,
                    [&](const Value& v) { return EqualIgnoringCase(v.name, value.name); });
      return;
    }
    value.first_line = value.last_line = line_index_;
    value.data_begin = line_.RawOffset(pos);
    bool continues = false;
    pos = ValueData(pos, value, continues);
    value.data_end = line_.RawOffset(pos);
    ExpectEnd(pos, "value");
    const std::size_t index = SetValue(key, std::move(value));
    if (continues) {
      continued_key_ = current_key_;
      continued_value_ = index;
    }
  }

  // Returns the value's index in its key.
  static std::size_t SetValue(Key& key, Value value) {
    for (std::size_t i = 0; i < key.values.size(); ++i) {
      if (EqualIgnoringCase(key.values[i].name, value.name)) {
        key.values[i] = std::move(value);
        return i;
      }
    }
    key.values.push_back(std::move(value));
    return key.values.size() - 1;
  }

  // Reads the data after '=' into `value`; returns the position after it.
  std::size_t ValueData(std::size_t pos, Value& value, bool& continues) {
    if (StartsWithAt(text(), pos, "\"")) {
      value.kind = Kind::kString;
      value.text = QuotedText(pos, value.text_lost);
      return pos;
    }
    if (StartsWithAt(text(), pos, "dword:")) {
      value.kind = Kind::kDword;
      return DwordDigits(pos + 6, value.dword);
    }
    value.kind = Kind::kHex;
    if (StartsWithAt(text(), pos, "hex:")) return HexBytes(pos + 4, continues, value.hex_bytes);
    if (StartsWithAt(text(), pos, "hex(")) {
      std::size_t end = pos + 4;
      value.hex_type = 0;
      for (; end < text().size() && IsHexDigit(text()[end]); ++end) {
        // A type beyond 32 bits is no type the program reads; it only must not wrap to one.
        value.hex_type = value.hex_type > 0x0FFFFFFFu
                             ? 0xFFFFFFFFu
                             : value.hex_type << 4 | HexDigitValue(text()[end]);
      }
      if (end == pos + 4 || !StartsWithAt(text(), end, "):")) Fail("malformed hex(type): value");
      return HexBytes(end + 2, continues, value.hex_bytes);
    }
    Fail("unknown value type");
  }

  std::size_t DwordDigits(std::size_t pos, std::uint32_t& dword) const {
    std::size_t end = pos;
    dword = 0;
    while (end < text().size() && IsHexDigit(text()[end])) {
      dword = dword << 4 | HexDigitValue(text()[end++]);
    }
    if (end == pos || end - pos > 8) Fail("dword: needs 1 to 8 hexadecimal digits");
    return end;
  }

  // Comma-separated bytes, appended to `bytes`; a backslash at the end continues them on the
  // next line. Returns the position after the data.
  std::size_t HexBytes(std::size_t pos, bool& continues, std::string& bytes) {
    continues = false;
    std::size_t data_end = pos;
    std::size_t digits = 0;
    unsigned byte = 0;
    const auto end_byte = [&] {
      if (digits > 0) bytes += static_cast<char>(byte);
      digits = byte = 0;
    };
    for (; pos < text().size() && text()[pos] != ';'; ++pos) {
      const char c = text()[pos];
      if (continues && !IsBlank(c)) Fail("text after the '\\' that continues a hex value");
      if (IsHexDigit(c)) {
        if (++digits > 2) Fail("a hex value byte has more than two digits");
        byte = byte << 4 | HexDigitValue(c);
      } else if (c == '\\' || c == ',') {
        end_byte();
        continues = c == '\\';
      } else if (!IsBlank(c)) {
        Fail("invalid character in a hex value");
      }
      if (!IsBlank(c)) data_end = pos + 1;
    }
    end_byte();
    return data_end;
  }

  void ContinueHex() {
    Key& key = store_.keys_[continued_key_];
    key.block_end_line = line_index_;
    Value& value = key.values[continued_value_];
    value.last_line = line_index_;
    bool continues = false;
    HexBytes(0, continues, value.hex_bytes);
    if (!continues) continued_key_ = kNone;
  }

  // The text between double quotes at `pos`, with \\ and \" resolved; `pos` moves past it.
  // `lost` is set when a character in it stands for one the code page lacks.
  std::string QuotedText(std::size_t& pos, bool& lost) const {
    std::string result;
    for (++pos; pos < text().size(); ++pos) {
      const char c = text()[pos];
      if (c == '"') {
        ++pos;
        return result;
      }
      if (c == '\\') {
        if (++pos == text().size() || (text()[pos] != '\\' && text()[pos] != '"'))
          Fail("invalid escape in quoted text: only \\\\ and \\\" are allowed");
      }
      result += text()[pos];
      if (line_.lost[pos]) lost = true;
    }
    Fail("quoted text without closing '\"'");
  }

  RegStore& store_;
  DecodedLine line_;
  std::size_t line_index_ = 0;
  std::size_t current_key_ = kNone;
  std::size_t continued_key_ = kNone;  // the key and value whose hex bytes continue
  std::size_t continued_value_ = kNone;
};

RegStore RegStore::Parse(std::string_view bytes, std::string_view file_name) {
  RegStore store;
  store.file_name_ = std::string(file_name);
  // An empty file holds no keys, like a missing one, so that a freshly created empty store
  // can be used.
  if (bytes.empty()) return store;
  if (bytes.starts_with(kUtf16Bom)) {
    store.encoding_ = Encoding::kUtf16Le;
    store.prefix_ = std::string(kUtf16Bom);
    bytes.remove_prefix(kUtf16Bom.size());
    store.lines_ = SplitLines<Line>(bytes, 2);
    if (bytes.size() % 2 != 0) {
      throw Error(LineError(file_name, store.lines_.empty() ? 0 : store.lines_.size() - 1,
                            "UTF-16 text ends in the middle of a character"));
    }
    if (!store.lines_.empty()) {
      const std::string first = Decode(store.lines_[0].raw, store.encoding_).text;
      store.version5_ = IsHeaderLine(first, kHeader5);
      if (!store.version5_ && !IsHeaderLine(first, kHeader4)) store.lines_.clear();
    }
  } else {
    // Current regedit reads UTF-8 with a byte order mark; only version 5 files are Unicode.
    const bool utf8_bom = bytes.starts_with(kUtf8Bom);
    if (utf8_bom) {
      store.prefix_ = std::string(kUtf8Bom);
      bytes.remove_prefix(kUtf8Bom.size());
    }
    store.lines_ = SplitLines<Line>(bytes, 1);
    const std::string_view first =
        store.lines_.empty() ? std::string_view() : std::string_view(store.lines_[0].raw);
    store.version5_ = IsHeaderLine(first, kHeader5);
    if (store.version5_) {
      store.encoding_ = Encoding::kUtf8;
    } else if (!utf8_bom && IsHeaderLine(first, kHeader4)) {
      store.encoding_ = Encoding::kAnsi;
    } else {
      store.lines_.clear();
    }
  }
  if (store.lines_.empty()) {
    throw Error(LineError(file_name, 0,
                          "not a regedit export file: the first line must be \"" +
                              std::string(kHeader5) + "\" or \"" + std::string(kHeader4) + "\""));
  }
  store.Rebuild();
  return store;
}

void RegStore::Rebuild() { Parser(*this).Run(); }

const RegStore::Key* RegStore::FindKey(RootKey root, std::string_view key_path) const {
  for (const auto& key : keys_) {
    if (key.root == root && EqualIgnoringCase(key.path, key_path)) return &key;
  }
  return nullptr;
}

const RegStore::Value* RegStore::Find(RootKey root, std::string_view key_path,
                                      std::string_view value_name) const {
  const Key* key = FindKey(root, key_path);
  if (!key) return nullptr;
  for (const auto& value : key->values) {
    if (EqualIgnoringCase(value.name, value_name)) return &value;
  }
  return nullptr;
}

// The text of a REG_SZ or REG_EXPAND_SZ value, expanded; false for other values.
bool RegStore::TextOf(const Value& value, std::string& text, bool& lost) const {
  if (value.kind == Kind::kString) {
    text.assign(value.text);
    lost = value.text_lost;
    return true;
  }
  if (value.kind != Kind::kHex || (value.hex_type != kRegSz && value.hex_type != kRegExpandSz))
    return false;
  lost = false;
  text = HexText(value.hex_bytes, version5_, lost);
  if (value.hex_type == kRegExpandSz) text = ExpandVariables(text, lost);
  return true;
}

bool RegStore::ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::string& value) const {
  bool lost_characters = false;
  return ReadString(root, key_path, value_name, value, lost_characters);
}

bool RegStore::ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::string& value, bool& lost_characters) const {
  lost_characters = false;
  const Value* found = Find(root, key_path, value_name);
  return found && TextOf(*found, value, lost_characters);
}

bool RegStore::ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                         std::int32_t& value) const {
  const Value* found = Find(root, key_path, value_name);
  if (!found) return false;
  std::optional<std::int32_t> number;
  std::string text;
  bool lost = false;
  if (found->kind == Kind::kDword) {
    number = static_cast<std::int32_t>(found->dword);
  } else if (found->kind == Kind::kString) {
    number = DwordFromText(found->text);
  } else if (TextOf(*found, text, lost)) {
    number = DwordFromText(text);
  } else {
    number = DwordFromData(found->hex_type, found->hex_bytes);
  }
  if (!number) return false;
  value = *number;
  return true;
}

std::string RegStore::Encode(std::string_view text) const {
  switch (encoding_) {
    case Encoding::kUtf8:
      return Cp1252ToUtf8(text);
    case Encoding::kUtf16Le:
      return Cp1252ToUtf16Le(text);
    case Encoding::kAnsi:
      break;
  }
  return std::string(text);
}

std::string RegStore::DefaultEnding() const {
  for (const auto& line : lines_) {
    if (!line.ending.empty()) return line.ending;
  }
  return Encode("\r\n");
}

void RegStore::EndLastLine() {
  if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = DefaultEnding();
}

void RegStore::InsertLine(std::size_t index, std::string_view text) {
  if (index == lines_.size()) EndLastLine();
  Line line{Encode(text), DefaultEnding()};
  // After a line ended by a lone CR, an empty line ended by LF would read back as that line's
  // CR LF and vanish: a hex value continued on that line would then swallow the next one.
  if (text.empty() && index > 0 && lines_[index - 1].ending == Encode("\r")) {
    line.ending = lines_[index - 1].ending;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void RegStore::WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::int32_t value) {
  WriteData(root, key_path, value_name, DwordData(value));
}

void RegStore::WriteString(RootKey root, std::string_view key_path, std::string_view value_name,
                           std::string_view value) {
  WriteData(
      root, key_path, value_name,
      HoldsLineBreakOrNul(value) ? StringAsHex(value, version5_) : "\"" + EscapeName(value) + "\"");
}

void RegStore::WriteData(RootKey root, std::string_view key_path, std::string_view value_name,
                         const std::string& data) {
  CheckWritableName("key", key_path);
  CheckWritableName("value name", value_name);
  const std::string_view root_name = RootNameOf(root);
  if (const Value* existing = Find(root, key_path, value_name)) {
    // Only the data changes; the name keeps its spelling and a comment after a one-line value
    // stays. A hex value spread over several lines becomes one line.
    Line& line = lines_[existing->first_line];
    const bool one_line = existing->first_line == existing->last_line;
    line.raw = line.raw.substr(0, existing->data_begin) + Encode(data) +
               (one_line ? line.raw.substr(existing->data_end) : std::string());
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(existing->first_line);
    lines_.erase(
        first + 1,
        first + 1 + static_cast<std::ptrdiff_t>(existing->last_line - existing->first_line));
  } else {
    const std::string value_line =
        (value_name.empty() ? std::string("@") : "\"" + EscapeName(value_name) + "\"") + "=" + data;
    if (const Key* key = FindKey(root, key_path)) {
      InsertLine(key->block_end_line + 1, value_line);
    } else {
      if (lines_.empty()) {
        prefix_ = encoding_ == Encoding::kUtf16Le ? std::string(kUtf16Bom) : std::string();
        lines_.push_back({Encode(kHeader5), Encode("\r\n")});
      }
      // As regedit writes a key: a blank line before it and one after its values.
      if (!TrimBlanks(Decode(lines_.back().raw, encoding_).text).empty())
        InsertLine(lines_.size(), "");
      std::string key_line = "[" + std::string(root_name);
      if (!key_path.empty()) key_line += "\\" + std::string(key_path);
      InsertLine(lines_.size(), key_line + "]");
      InsertLine(lines_.size(), value_line);
      InsertLine(lines_.size(), "");
    }
  }
  Rebuild();
}

std::string RegStore::Serialize() const {
  std::string bytes = prefix_;
  for (const auto& line : lines_) bytes += line.raw + line.ending;
  return bytes;
}

}  // namespace ordex
