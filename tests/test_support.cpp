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

void FakeView::SetText(Control control, std::string_view text) {
  texts_[control] = std::string(text);
  ++set_text_calls_;
}

int FakeView::Run(void (*on_tick)(void*), void* context) {
  for (int i = 0; i < ticks_to_run && quit_status_ < 0; ++i) on_tick(context);
  return quit_status_ < 0 ? 0 : quit_status_;
}

std::string FakeView::Text(Control control) const {
  const auto it = texts_.find(control);
  return it == texts_.end() ? std::string() : it->second;
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
