#include "registry/registry_memory.h"

#include <string>

#include "registry/reg_store_access.h"

namespace ordex {

namespace {
constexpr std::string_view kName = "memory registry";
}  // namespace

class MemoryRegistry::Access : public RegStoreAccess {
 public:
  explicit Access(MemoryRegistry& registry) : registry_(registry) {}

 protected:
  const RegStore& Current() override { return registry_.store_; }
  bool Keep(const RegStore& changed, std::string_view key_path) override {
    if (!registry_.writable) return false;
    registry_.store_ = changed;
    registry_.written.emplace_back(key_path);
    return true;
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
