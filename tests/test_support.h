#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/window_view.h"
#include "registry/registry_access.h"

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

// A window that remembers what it was told.
class FakeView : public WindowView {
 public:
  void SetText(Control control, std::string_view text) override;
  void SetVisible(bool visible) override {
    visible_ = visible;
    ++set_visible_calls_;
  }
  void SetTimerInterval(std::int32_t interval_ms) override { interval_ms_ = interval_ms; }
  int Run(void (*on_tick)(void*), void* context) override;
  void Quit(int status) override { quit_status_ = status; }

  std::string Text(Control control) const;
  bool visible() const { return visible_; }
  std::int32_t interval_ms() const { return interval_ms_; }
  int quit_status() const { return quit_status_; }
  int set_text_calls() const { return set_text_calls_; }
  int set_visible_calls() const { return set_visible_calls_; }

  // Run calls the tick this many times unless Quit comes first.
  int ticks_to_run = 0;

 private:
  std::map<Control, std::string> texts_;
  bool visible_ = false;
  std::int32_t interval_ms_ = -1;
  int quit_status_ = -1;
  int set_text_calls_ = 0;
  int set_visible_calls_ = 0;
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
