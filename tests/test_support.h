#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/window_memory.h"
#include "registry/registry_access.h"
#include "shell/form1_layout.h"

namespace ordex::testing {

// A fresh folder under TEST_TMPDIR (or the system's temporary folder), removed with its content
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

// Writes `content` to `path`, creating the folders on the way.
void WriteBytes(const std::filesystem::path& path, std::string_view content);
std::string ReadBytes(const std::filesystem::path& path);

// The repository's root folder, for the bundled sample installation.
std::filesystem::path SourceDir();

// `size` bytes shaped like a driver's object code, the same for the same seed: machine code
// (frequent opcode bytes, zero bytes of small operands), runs of NULs (alignment padding,
// zero-filled data) and groups of short NUL-ended texts (names, messages, printf formats with a
// '%' now and then). About 31 % of the bytes are NULs, as in real object files; it holds no
// marker of the sensor driver.
std::string DriverLikeBytes(std::size_t size, std::uint32_t seed);

// The in-memory window built to Form1's layout, its controls named as Form1 names them.
class FakeView : public MemoryWindowView {
 public:
  FakeView() : MemoryWindowView(kForm1Layout) {}
  using MemoryWindowView::Text;
  const std::string& Text(Control control) const { return Text(ControlIndex(control)); }
};

// An in-memory registry: keys and names compared as given.
class FakeRegistry : public RegistryAccess {
 public:
  using RegistryAccess::ReadString;
  void ReadString(RootKey root, std::string_view key, std::string_view name, std::string& value,
                  bool& ok, bool& lost_characters) override;
  void ReadDword(RootKey root, std::string_view key, std::string_view name, std::int32_t& value,
                 bool& ok) override;
  void WriteDword(RootKey root, std::string_view key, std::string_view name, std::int32_t value,
                  bool& ok) override;

  std::map<std::string, std::string> strings;  // "key\name" -> text
  std::set<std::string> lossy_strings;         // "key\name" of texts that lost characters
  std::map<std::string, std::int32_t> dwords;  // "key\name" -> value
  bool writable = true;
  int writes = 0;

  static std::string Id(std::string_view key, std::string_view name);
};

// A registry component that forwards to one owned elsewhere, for code that takes ownership.
std::unique_ptr<RegistryAccess> Borrow(RegistryAccess& registry);

}  // namespace ordex::testing
