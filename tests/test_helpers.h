#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ordex::testing {

// The helpers every test may use; none of them knows Form1 (form1_view.h has its view).

// Whether every folder on the way to `folder` lets other users pass.
bool ReachableByOthers(const std::filesystem::path& folder);

// A fresh folder under TEST_TMPDIR (or the system's temporary folder), removed with its content
// when the object goes.
class TempDir {
 public:
  // Who must be able to enter the folder: tests running as root run programs as another user,
  // who cannot pass a private TEST_TMPDIR (or a checkout in root's home).
  enum class Reach { kOwner, kEveryone };

  explicit TempDir(Reach reach = Reach::kOwner);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

// Sets a variable of the process environment (or removes it, for nullopt) for as long as it
// lives, then puts back what was there.
class ScopedVariable {
 public:
  ScopedVariable(std::string name, const std::optional<std::string>& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// The heap allocations of the test program so far.
long AllocationCount();

// While it lives, every heap allocation of the program fails with std::bad_alloc, as when the
// memory runs out.
class AllocationsFail {
 public:
  AllocationsFail();
  ~AllocationsFail();
  AllocationsFail(const AllocationsFail&) = delete;
  AllocationsFail& operator=(const AllocationsFail&) = delete;
};

// The message of the Error that `call` throws, or "no error".
std::string MessageOf(const std::function<void()>& call);

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

// `cp1252_text` as the bytes of a UTF-16LE text file: the byte order mark, then the text.
std::string Utf16(std::string_view cp1252_text);

// A string's bytes as the registry stores them: UTF-16LE with the closing NUL.
inline std::string StoredText(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes + std::string(2, '\0');
}

inline std::string StoredQword(std::int64_t value) {
  std::string bytes;
  for (int i = 0; i < 8; ++i)
    bytes += static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i));
  return bytes;
}

// Lines of a regedit export (ASCII; CR LF between lines): the line that opens the key
// HKEY_LOCAL_MACHINE\`key`, and those that set values below it: a quoted string, a dword:, or a
// value of any type with exactly these bytes (strings: UTF-16LE with their NUL), written as hex(N):
// continued over several lines as regedit wraps it.
std::string RegKeyLine(std::string_view key);
std::string RegStringValue(std::string_view key, std::string_view name, std::string_view text);
std::string RegDwordValue(std::string_view key, std::string_view name, std::int32_t value);
std::string RegTypedValue(std::string_view key, std::string_view name, std::uint32_t type,
                          std::string_view bytes);
// The lines that remove a value below HKEY_LOCAL_MACHINE\`key`, or with an empty name the key
// with all its subkeys.
std::string RegRemoval(std::string_view key, std::string_view name);

}  // namespace ordex::testing
