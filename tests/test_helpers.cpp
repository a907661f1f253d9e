#include "test_helpers.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <utility>

#include "core/codepage.h"
#include "core/error.h"

// Every allocation of the test program comes here, to be counted or made to fail.
namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_allocations_fail{false};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (!g_allocations_fail) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace ordex::testing {

long AllocationCount() { return g_allocations; }

AllocationsFail::AllocationsFail() { g_allocations_fail = true; }
AllocationsFail::~AllocationsFail() { g_allocations_fail = false; }
namespace fs = std::filesystem;

bool ReachableByOthers(const fs::path& folder) {
  std::error_code error;
  for (fs::path path = fs::absolute(folder, error); !error; path = path.parent_path()) {
    const auto permissions = fs::status(path, error).permissions();
    if (error || (permissions & fs::perms::others_exec) == fs::perms::none) return false;
    if (path == path.root_path()) return true;
  }
  return false;
}

namespace {

fs::path TempBase(TempDir::Reach reach) {
  const char* root = std::getenv("TEST_TMPDIR");
  const fs::path base = root && *root ? fs::path(root) : fs::temp_directory_path();
  if (reach == TempDir::Reach::kOwner || ReachableByOthers(base)) return base;
  return "/tmp";
}

}  // namespace

TempDir::TempDir(Reach reach) {
  const fs::path base = TempBase(reach);
  std::random_device random;
  for (;;) {
    path_ = base / ("ordex-test-" + std::to_string(random()));
    if (fs::create_directories(path_)) break;
  }
  // Whatever the umask says.
  if (reach == Reach::kEveryone) {
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
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

namespace {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable there.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

}  // namespace

ScopedVariable::ScopedVariable(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) saved_ = old;
  SetVariable(name_, value);
}

ScopedVariable::~ScopedVariable() { SetVariable(name_, saved_); }

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "no error";
}

std::string Utf16(std::string_view cp1252_text) {
  return "\xFF\xFE" + Cp1252ToUtf16Le(cp1252_text);
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

namespace {

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string RegKeyLine(std::string_view key) {
  return "[HKEY_LOCAL_MACHINE\\" + std::string(key) + "]\r\n";
}

std::string RegStringValue(std::string_view key, std::string_view name, std::string_view text) {
  return RegKeyLine(key) + Quoted(name) + "=" + Quoted(text) + "\r\n";
}

std::string RegDwordValue(std::string_view key, std::string_view name, std::int32_t value) {
  char data[16];
  std::snprintf(data, sizeof data, "dword:%08x", static_cast<std::uint32_t>(value));
  return RegKeyLine(key) + Quoted(name) + "=" + data + "\r\n";
}

std::string RegRemoval(std::string_view key, std::string_view name) {
  if (name.empty()) return "[-HKEY_LOCAL_MACHINE\\" + std::string(key) + "]\r\n";
  return RegKeyLine(key) + Quoted(name) + "=-\r\n";
}

std::string RegTypedValue(std::string_view key, std::string_view name, std::uint32_t type,
                          std::string_view bytes) {
  char data[16];
  std::snprintf(data, sizeof data, "=hex(%x):", static_cast<unsigned>(type));
  std::string line = Quoted(name) + data;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) line += ",";
    if (i > 0 && i % 16 == 0) line += "\\\r\n  ";
    std::snprintf(data, sizeof data, "%02x", static_cast<unsigned char>(bytes[i]));
    line += data;
  }
  return RegKeyLine(key) + line + "\r\n";
}

}  // namespace ordex::testing
