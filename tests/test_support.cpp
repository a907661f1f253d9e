#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace ordex::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  const char* root = std::getenv("TEST_TMPDIR");
  const fs::path base = root && *root ? fs::path(root) : fs::temp_directory_path();
  std::random_device random;
  for (;;) {
    path_ = base / ("ordex-test-" + std::to_string(random()));
    if (fs::create_directories(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests make folders read-only; give the rights back so that everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

void WriteBytes(const fs::path& path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

fs::path SourceDir() { return ORDEX_SOURCE_DIR; }

namespace {

// A small generator of its own rather than <random>'s distributions, whose results differ
// between standard libraries: the same seed gives the same bytes everywhere.
class ByteSource {
 public:
  explicit ByteSource(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Below(std::uint32_t bound) {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(state_ >> 33) % bound;
  }
  char Byte() { return static_cast<char>(Below(256)); }

 private:
  std::uint64_t state_;
};

void AppendCode(std::string& bytes, ByteSource& source) {
  static constexpr unsigned char kFrequent[] = {0x48, 0x89, 0x8b, 0xe8, 0xff, 0x0f, 0x83, 0xc7,
                                                0x45, 0x24, 0x44, 0x85, 0xc0, 0x74, 0x75, 0xeb};
  for (std::uint32_t n = 32 + source.Below(480); n > 0; --n) {
    const std::uint32_t kind = source.Below(100);
    if (kind < 30) {
      bytes += '\0';
    } else if (kind < 55) {
      bytes += static_cast<char>(kFrequent[source.Below(sizeof kFrequent)]);
    } else {
      bytes += source.Byte();
    }
  }
}

void AppendTexts(std::string& bytes, ByteSource& source) {
  static constexpr std::string_view kTextBytes =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _.:-/";
  static constexpr std::string_view kConversions[] = {"%d", "%s", "%u", "%02x"};
  for (std::uint32_t texts = 1 + source.Below(8); texts > 0; --texts) {
    for (std::uint32_t n = 3 + source.Below(30); n > 0; --n) {
      bytes += kTextBytes[source.Below(kTextBytes.size())];
    }
    if (source.Below(4) == 0) bytes += kConversions[source.Below(4)];
    bytes += '\0';
  }
}

}  // namespace

std::string DriverLikeBytes(std::size_t size, std::uint32_t seed) {
  ByteSource source(seed);
  std::string bytes;
  bytes.reserve(size + 1024);
  while (bytes.size() < size) {
    const std::uint32_t kind = source.Below(100);
    if (kind < 45) {
      AppendCode(bytes, source);
    } else if (kind < 70) {
      bytes.append(1 + source.Below(96), '\0');
    } else {
      AppendTexts(bytes, source);
    }
  }
  bytes.resize(size);
  return bytes;
}

std::string FakeRegistry::Id(std::string_view key, std::string_view name) {
  return std::string(key) + "\\" + std::string(name);
}

void FakeRegistry::ReadString(RootKey, std::string_view key, std::string_view name,
                              std::string& value, bool& ok, bool& lost_characters) {
  const auto it = strings.find(Id(key, name));
  ok = it != strings.end();
  lost_characters = ok && lossy_strings.contains(it->first);
  if (ok) value = it->second;
}

void FakeRegistry::ReadDword(RootKey, std::string_view key, std::string_view name,
                             std::int32_t& value, bool& ok) {
  const auto it = dwords.find(Id(key, name));
  ok = it != dwords.end();
  if (ok) value = it->second;
}

void FakeRegistry::WriteDword(RootKey, std::string_view key, std::string_view name,
                              std::int32_t value, bool& ok) {
  ok = writable;
  if (!ok) return;
  dwords[Id(key, name)] = value;
  ++writes;
}

namespace {

class BorrowedRegistry : public RegistryAccess {
 public:
  explicit BorrowedRegistry(RegistryAccess& target) : target_(target) {}
  using RegistryAccess::ReadString;
  void ReadString(RootKey root, std::string_view key, std::string_view name, std::string& value,
                  bool& ok, bool& lost_characters) override {
    target_.ReadString(root, key, name, value, ok, lost_characters);
  }
  void ReadDword(RootKey root, std::string_view key, std::string_view name, std::int32_t& value,
                 bool& ok) override {
    target_.ReadDword(root, key, name, value, ok);
  }
  void WriteDword(RootKey root, std::string_view key, std::string_view name, std::int32_t value,
                  bool& ok) override {
    target_.WriteDword(root, key, name, value, ok);
  }

 private:
  RegistryAccess& target_;
};

}  // namespace

std::unique_ptr<RegistryAccess> Borrow(RegistryAccess& registry) {
  return std::make_unique<BorrowedRegistry>(registry);
}

}  // namespace ordex::testing
