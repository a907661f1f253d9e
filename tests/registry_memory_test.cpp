#include "registry/registry_memory.h"

#include <cstdlib>

#include "registry_contract.h"
#include "test_helpers.h"

namespace ordex::testing {
namespace {

// The in-memory registry as a backend of the shared contract.
class MemoryRegistryBackend {
 public:
  std::unique_ptr<RegistryAccess> Open() { return registry_.Open(); }

  void SeedString(std::string_view key, std::string_view name, std::string_view text) {
    registry_.Import(RegStringValue(key, name, text));
  }
  void SeedBinary(std::string_view key, std::string_view name) {
    registry_.Import(RegTypedValue(key, name, kRegBinary, "\x01\x02\x03\x04"));
  }
  void SeedTyped(std::string_view key, std::string_view name, std::uint32_t type,
                 std::string_view bytes) {
    registry_.Import(RegTypedValue(key, name, type, bytes));
  }
  void Remove(std::string_view key, std::string_view name) {
    registry_.Import(RegRemoval(key, name));
  }

  // The store expands with the C runtime's environment, which SetEnvironmentVariable misses.
  void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
    ASSERT_EQ(::_putenv_s(name.c_str(), value.c_str()), 0);
#else
    ASSERT_EQ(::setenv(name.c_str(), value.c_str(), 1), 0);
#endif
  }

 private:
  MemoryRegistry registry_;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RegistryContract, MemoryRegistryBackend);

TEST(MemoryRegistry, AStoreThatMayNotBeWrittenReportsAFalseFlagAndKeepsItsValues) {
  MemoryRegistry registry;
  registry.Import(RegDwordValue(kContractKey, "Visible", 1));
  registry.writable = false;
  const auto access = registry.Open();
  bool ok = true;
  access->WriteDword(HKEY_LOCAL_MACHINE_ROOT, kContractKey, "Visible", 0, ok);
  EXPECT_FALSE(ok);
  std::int32_t value = 0;
  access->ReadDword(HKEY_LOCAL_MACHINE_ROOT, kContractKey, "Visible", value, ok);
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(registry.written.empty());
}

}  // namespace ordex::testing
