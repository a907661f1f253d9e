#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_access.h"

namespace ordex {

// A registry held as a regedit export file (".reg"), with everything needed to write the file
// back unchanged except for the values that are set.
//
// Accepted files start with the line "REGEDIT4" or "Windows Registry Editor Version 5.00",
// exactly as regedit writes them; blanks and a ';' comment may follow on that line, as regedit
// imports them. The encoding follows from the first bytes:
//  - the byte order mark FF FE: UTF-16LE, as regedit exports (either header line);
//  - the UTF-8 byte order mark and "Windows Registry Editor Version 5.00": UTF-8, as current
//    regedit imports it and editors on Windows save it;
//  - no byte order mark and "Windows Registry Editor Version 5.00": UTF-8, as a text editor on
//    POSIX saves it (malformed sequences read as '?');
//  - no byte order mark and "REGEDIT4": 8-bit Windows-1252.
// A UTF-8 byte order mark before "REGEDIT4" is refused, and so is UTF-16 without one. An empty
// file counts as an empty registry, like a missing one.
//
// Inside the program all text is Windows-1252; characters it lacks read as '?', and ReadString
// tells when that happened. Lines that are not changed keep their bytes, so such characters
// survive a rewrite.
//
// The content is applied in file order as an import applies it: a later line overrides an
// earlier one, "[-HKEY_...\Key]" removes a key with all its subkeys and "name"=- removes a
// value. Lines whose first non-blank character is not '[', '"', '@' or ';' (notes after '#',
// stray text, a Ctrl-Z at the end) are skipped, as regedit skips them; a line that begins like
// a key or a value must be one. Values read as the registry would hold them after the import:
// "text" and hex(1): as REG_SZ, hex(2): as REG_EXPAND_SZ (UTF-16LE in a version 5 file, the
// 8-bit code page in a REGEDIT4 one, as regedit writes them), dword: and hex(4): as REG_DWORD,
// hex(b): as REG_QWORD; other hex forms are kept in the file but read as missing.
class RegStore {
 public:
  enum class Encoding { kAnsi, kUtf8, kUtf16Le };

  // An empty registry; written out, it becomes a regedit 5 export in UTF-16LE.
  RegStore() = default;

  // Parses the whole content of a file. A file that is not a regedit export, or that has a
  // line regedit would not import, throws Error "<file_name>:<line>: <what is wrong>".
  static RegStore Parse(std::string_view bytes, std::string_view file_name);

  // Lookups return false, and leave `value` as it was, when the key or value is missing or the
  // value cannot be read as asked; they read as RegistryAccess describes it. A REG_EXPAND_SZ is
  // expanded with the process environment: %NAME% becomes the variable's value (taken as
  // UTF-8), and a name that is not set stays as it was written, as Windows leaves it. Reading a
  // REG_DWORD, or a string without expanding it, makes no heap allocation (beyond growing
  // `value`).
  bool ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value) const;
  bool ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& lost_characters) const;
  bool ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value) const;

  // Sets a DWORD value, creating key and value as needed. Only the line of the value changes
  // (in the form "Name"=dword:0000abcd, keeping the name as it was written); a new value goes
  // at the end of its key's block, a new key at the end of the file. A key path or value name
  // that cannot be written on one line throws Error.
  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value);

  // Sets a REG_SZ value in the same way: as "text" with '\\' and '"' escaped, or, where the text
  // holds a line break or NUL (which a quoted string cannot carry), as hex(1): bytes, which read
  // back as the same text.
  void WriteString(RootKey root, std::string_view key_path, std::string_view value_name,
                   std::string_view value);

  // The file's bytes in its own encoding.
  std::string Serialize() const;

  Encoding encoding() const { return encoding_; }

 private:
  // How a value is written: a quoted string, dword:, or hex bytes of a given type.
  enum class Kind { kString, kDword, kHex };

  struct Line {
    std::string raw;     // bytes of the line in the file's encoding, without its end
    std::string ending;  // bytes of its line end; empty for a last line without one
  };

  struct Value {
    std::string name;
    Kind kind = Kind::kHex;
    std::string text;            // a quoted string
    bool text_lost = false;      // characters the code page lacks read as '?' in `text`
    std::uint32_t dword = 0;     // dword:
    std::uint32_t hex_type = 3;  // hex: (REG_BINARY) or hex(N):
    std::string hex_bytes;
    // Where it was last set: lines first..last (hex values continue over several lines) and,
    // in the first line, the byte range of the data after the '='.
    std::size_t first_line = 0;
    std::size_t last_line = 0;
    std::size_t data_begin = 0;
    std::size_t data_end = 0;
  };

  struct Key {
    RootKey root = 0;
    std::string path;
    std::vector<Value> values;
    // Last line of the key's latest block that holds the key or one of its values.
    std::size_t block_end_line = 0;
  };

  class Parser;

  bool TextOf(const Value& value, std::string& text, bool& lost) const;

  const Value* Find(RootKey root, std::string_view key_path, std::string_view value_name) const;
  const Key* FindKey(RootKey root, std::string_view key_path) const;
  // Sets the value's data to `data`, the text after '=' (see WriteDword).
  void WriteData(RootKey root, std::string_view key_path, std::string_view value_name,
                 const std::string& data);
  void Rebuild();
  std::string Encode(std::string_view text) const;
  std::string DefaultEnding() const;
  void EndLastLine();
  void InsertLine(std::size_t index, std::string_view text);

  std::string file_name_;
  Encoding encoding_ = Encoding::kUtf16Le;
  std::string prefix_;    // the byte order mark, if the file has one
  bool version5_ = true;  // the header: hex(2) text is UTF-16LE after it, ANSI after REGEDIT4
  std::vector<Line> lines_;
  std::vector<Key> keys_;
};

}  // namespace ordex
