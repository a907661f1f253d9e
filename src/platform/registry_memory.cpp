#include "platform/registry_memory.h"

#include <string>

namespace ordex {

namespace {
constexpr std::string_view kName = "memory registry";
}  // namespace

class MemoryRegistry::Access : public RegistryAccess {
 public:
  explicit Access(MemoryRegistry& registry) : registry_(registry) {}

  using RegistryAccess::ReadString;

  // Only HKEY_LOCAL_MACHINE is served, as by the .reg file backend.
  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok, bool& lost_characters) override {
    lost_characters = false;
    ok = root == HKEY_LOCAL_MACHINE_ROOT &&
         registry_.store_.ReadString(root, key_path, value_name, value, lost_characters);
  }

  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) override {
    ok = root == HKEY_LOCAL_MACHINE_ROOT &&
         registry_.store_.ReadDword(root, key_path, value_name, value);
  }

  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) override {
    ok = root == HKEY_LOCAL_MACHINE_ROOT && registry_.writable;
    if (!ok) return;
    registry_.store_.WriteDword(root, key_path, value_name, value);
    ++registry_.writes;
  }

 private:
  MemoryRegistry& registry_;
};

// UTF-8 without a byte order mark, so that Import can add lines in UTF-8 to what it serializes.
MemoryRegistry::MemoryRegistry()
    : store_(RegStore::Parse("Windows Registry Editor Version 5.00\r\n", kName)) {}

void MemoryRegistry::Import(std::string_view lines) {
  store_ = RegStore::Parse(store_.Serialize() + "\r\n" + std::string(lines) + "\r\n", kName);
}

std::unique_ptr<RegistryAccess> MemoryRegistry::Open() { return std::make_unique<Access>(*this); }

}  // namespace ordex
