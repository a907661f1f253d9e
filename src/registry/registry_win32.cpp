#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/case_fold.h"
#include "core/error.h"
#include "platform/error_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/wide_text_win32.h"
#include "registry/registry.h"
#include "registry/registry_numbers.h"

namespace ordex {
namespace {

// The controller software's key and the settings of a 32-bit tool live in the 32-bit view of
// the registry on 64-bit Windows. Every open names this view, so a 64-bit build reads and writes
// the same values as the 32-bit one.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

// Policies are the exception: Group Policy writes them from its 64-bit client, and Windows keeps
// SOFTWARE\Policies as one key for both views. Naming the 64-bit view for them reads what the
// client wrote even where that key is redirected like the rest (on 32-bit Windows the flag is
// ignored).
constexpr std::string_view kPoliciesKey = "SOFTWARE\\Policies\\";

bool IsPolicy(std::string_view key_path) {
  return key_path.size() >= kPoliciesKey.size() &&
         EqualIgnoringCase(key_path.substr(0, kPoliciesKey.size()), kPoliciesKey);
}

REGSAM ViewOf(std::string_view key_path) {
  return IsPolicy(key_path) ? KEY_WOW64_64KEY : kRegistryView;
}

// Predefined root keys are sign-extended handle values on 64-bit Windows.
HKEY RootHandle(RootKey root) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

std::string RootName(RootKey root) {
  if (root == HKEY_LOCAL_MACHINE_ROOT) return "HKEY_LOCAL_MACHINE";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(root));
  return text;
}

std::string KeyName(RootKey root, std::string_view key_path) {
  return RootName(root) + "\\" + std::string(key_path);
}

std::string ValueName(RootKey root, std::string_view key_path, std::string_view value_name) {
  return KeyName(root, key_path) + "\\" + std::string(value_name);
}

// "Not there" and "not allowed" are the flag's business; a technician without administrator
// rights must still get a working tool.
bool IsAbsentOrDenied(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND ||
         status == ERROR_ACCESS_DENIED;
}

// "If the lpSubKey parameter is NULL or a pointer to an empty string, and if hKey is a predefined
// key, then the system refreshes the predefined key, and phkResult receives the same hKey handle
// passed into the function" (RegOpenKeyEx): such a handle belongs to the process, not to the
// open, and closing it would close the root for every later call.
bool IsPredefined(HKEY key) {
  for (const HKEY predefined :
       {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA,
        HKEY_PERFORMANCE_TEXT, HKEY_PERFORMANCE_NLSTEXT, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
        HKEY_CURRENT_USER_LOCAL_SETTINGS}) {
    if (key == predefined) return true;
  }
  return false;
}

// An opened key, closed when it goes; a predefined key is never closed.
class UniqueKey {
 public:
  UniqueKey() = default;
  ~UniqueKey() { Reset(); }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }
  void Reset() {
    const HKEY key = std::exchange(key_, nullptr);
    if (key != nullptr && !IsPredefined(key)) ::RegCloseKey(key);
  }
  void Swap(UniqueKey& other) { std::swap(key_, other.key_); }

 private:
  HKEY key_ = nullptr;
};

// Opens the key for reading; false when it is missing or may not be read.
bool OpenForQuery(RootKey root, std::string_view key_path, UniqueKey& key) {
  const std::string path(key_path);
  const LSTATUS status = ::RegOpenKeyExA(RootHandle(root), path.c_str(), 0,
                                         KEY_QUERY_VALUE | ViewOf(key_path), key.out());
  if (status == ERROR_SUCCESS) return true;
  if (IsAbsentOrDenied(status)) return false;
  throw Win32Error("cannot open registry key", KeyName(root, key_path), static_cast<DWORD>(status));
}

// The path of the key above `key_path`; empty for a key right below the root.
std::string_view ParentOf(std::string_view key_path) {
  const auto separator = key_path.rfind('\\');
  return separator == std::string_view::npos ? std::string_view() : key_path.substr(0, separator);
}

// The key above which a watch never goes: one that always exists, so that it needs no watch of
// its own going. For a policy that is SOFTWARE\Policies, which holds policies only; for every
// other key the first key of its path (SOFTWARE), never the root. Empty for an empty path.
std::string_view FloorOf(std::string_view key_path) {
  if (IsPolicy(key_path)) return key_path.substr(0, kPoliciesKey.size() - 1);
  return key_path.substr(0, key_path.find('\\'));
}

// Asks Windows to signal `event` at the next change of the kind `filter` names in the key itself
// (not below it); the status of the open or the request.
LSTATUS Notify(RootKey root, std::string_view key_path, REGSAM view, DWORD filter, HANDLE event,
               UniqueKey& key) {
  key.Reset();
  const std::string path(key_path);
  const LSTATUS opened =
      ::RegOpenKeyExA(RootHandle(root), path.c_str(), 0, KEY_NOTIFY | view, key.out());
  if (opened != ERROR_SUCCESS) return opened;
  return ::RegNotifyChangeKeyValue(key.get(), FALSE, filter, event, TRUE);
}

// A key this user may not open is there all the same.
bool Exists(RootKey root, std::string_view key_path, REGSAM view) {
  UniqueKey key;
  const std::string path(key_path);
  const LSTATUS status =
      ::RegOpenKeyExA(RootHandle(root), path.c_str(), 0, KEY_QUERY_VALUE | view, key.out());
  return status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
}

// Tells when a key may have changed: its values, its coming into being, its deletion.
//
// Windows signals an event for a change in a key it watches (RegNotifyChangeKeyValue), but
// "does not notify the caller if the specified key is deleted", and a key that does not exist
// cannot be watched. So the deepest key of the path that exists is watched for its values (when
// it is the key itself) and for a key added below it, and its parent for a key going; nothing
// above the path's floor (FloorOf) is watched, nor any key's subtree: a pass reads again only for
// a change on the path, never for what installers or updates do elsewhere below SOFTWARE. A
// watch that has fired is placed again, for the path as it is then, before the values are read:
// whatever changes after that fires it again. A registration ends with the thread that made it;
// the refresh pass runs on the one thread of the program.
class KeyWatch {
 public:
  enum class State { kUnarmed, kArmed, kUnwatchable };

  KeyWatch(RootKey root, std::string key_path)
      : root_(root), path_(std::move(key_path)), floor_(FloorOf(path_)), view_(ViewOf(path_)) {}

  State state() const { return state_; }
  HANDLE event() const { return event_.get(); }
  // After the event was seen signalled.
  void Fired() { state_ = State::kUnarmed; }

  // Places the watch for the path as it is now. A key that may not be watched (no KEY_NOTIFY,
  // no event, a floor that is missing) stays unwatchable; one that changed while the watch was
  // placed is tried again the next time.
  void Arm() { state_ = Place(); }

 private:
  State Place() {
    watched_.Reset();
    watched_parent_.Reset();
    if (floor_.empty() || !Exists(root_, floor_, view_)) return State::kUnwatchable;
    if (!event_.valid()) event_ = UniqueHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event_.valid()) return State::kUnwatchable;
    // A signal from before the watch is placed says nothing the reads after it miss.
    ::ResetEvent(event_.get());
    std::string_view deepest = path_;
    while (deepest.size() > floor_.size() && !Exists(root_, deepest, view_))
      deepest = ParentOf(deepest);
    const DWORD filter =
        REG_NOTIFY_CHANGE_NAME | (deepest == path_ ? REG_NOTIFY_CHANGE_LAST_SET : 0);
    LSTATUS armed = Notify(root_, deepest, view_, filter, event_.get(), watched_);
    if (armed == ERROR_SUCCESS && deepest.size() > floor_.size()) {
      armed = Notify(root_, ParentOf(deepest), view_, REG_NOTIFY_CHANGE_NAME, event_.get(),
                     watched_parent_);
    }
    // A key gone meanwhile is looked for again the next time; a watch refused stays refused.
    if (armed == ERROR_FILE_NOT_FOUND || armed == ERROR_KEY_DELETED) return State::kUnarmed;
    if (armed != ERROR_SUCCESS) return State::kUnwatchable;
    // The path as found before the watch was placed must still hold: a change in between would
    // otherwise go unseen.
    const bool same = Exists(root_, deepest, view_);
    const bool next_missing = deepest == path_ || !Exists(root_, NextKeyBelow(deepest), view_);
    return same && next_missing ? State::kArmed : State::kUnarmed;
  }

  // The key of the path one level below `deepest`.
  std::string_view NextKeyBelow(std::string_view deepest) const {
    const std::size_t end = path_.find('\\', deepest.size() + 1);
    return std::string_view(path_).substr(0, end);
  }

  RootKey root_;
  std::string path_;
  std::string_view floor_;  // a part of path_
  REGSAM view_;
  UniqueHandle event_;
  UniqueKey watched_;
  UniqueKey watched_parent_;
  State state_ = State::kUnarmed;
};

// The values of a key as last read for ReadDwords, kept while its watch has not fired.
struct WatchedValues {
  struct Value {
    std::string name;
    std::int32_t value;
    bool ok;
  };

  WatchedValues(RootKey key_root, std::string_view key_path)
      : root(key_root), path(key_path), watch(key_root, path) {}

  const Value* Find(std::string_view name) const {
    for (const Value& kept : values) {
      if (kept.name == name) return &kept;
    }
    return nullptr;
  }

  RootKey root;
  std::string path;
  KeyWatch watch;
  std::vector<Value> values;
};

std::string Narrow(std::wstring_view text, std::string_view value_name, bool& lost) {
  return CodePageFromWide(text, "registry value " + std::string(value_name), lost);
}

// %NAME% replaced from the environment of the process, as RegGetValue expands a REG_EXPAND_SZ.
std::wstring Expand(const std::wstring& text, std::string_view value_name) {
  std::wstring expanded(text.size() + 1, L'\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0) throw Win32Error("cannot expand registry value", value_name, ::GetLastError());
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);
      return expanded;
    }
    expanded.resize(needed);
  }
}

// A value's type and bytes; false when the key or value is missing or may not be read, or the
// value's type is not in `wanted`, in which case its data is not read at all.
template <typename Wanted>
bool QueryValue(RootKey root, std::string_view key_path, std::string_view value_name, Wanted wanted,
                DWORD& type, std::string& data) {
  UniqueKey key;
  if (!OpenForQuery(root, key_path, key)) return false;
  const std::wstring name = WideFromCodePage(value_name);
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between asking for its size and reading it.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (!wanted(type)) return false;
    data.resize(size);
    status = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_SUCCESS) {
      if (!wanted(type)) return false;
      data.resize(size);
      return true;
    }
  }
  if (IsAbsentOrDenied(status)) return false;
  throw Win32Error("cannot read registry value", ValueName(root, key_path, value_name),
                   static_cast<DWORD>(status));
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The text of a REG_SZ or REG_EXPAND_SZ, expanded. A stored string need not end with its NUL;
// when it does, the text ends there. An odd last byte is no character.
std::wstring TextOf(DWORD type, const std::string& data, std::string_view value_name) {
  std::wstring text(data.size() / 2, L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
  return type == REG_EXPAND_SZ ? Expand(text, value_name) : text;
}

class Win32Registry : public RegistryAccess {
 public:
  using RegistryAccess::ReadString;

  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok, bool& lost_characters) override {
    ok = lost_characters = false;
    DWORD type = 0;
    std::string data;
    if (!QueryValue(root, key_path, value_name, IsText, type, data)) return;
    bool lost = false;
    value = Narrow(TextOf(type, data, value_name), value_name, lost);
    lost_characters = lost;
    ok = true;
  }

  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) override {
    ok = false;
    const auto is_number_type = [](DWORD type) {
      return type == REG_DWORD || type == REG_QWORD || IsText(type);
    };
    DWORD type = 0;
    std::string data;
    if (!QueryValue(root, key_path, value_name, is_number_type, type, data)) return;
    std::optional<std::int32_t> number;
    if (IsText(type)) {
      bool lost = false;
      number = DwordFromText(Narrow(TextOf(type, data, value_name), value_name, lost));
    } else {
      number = DwordFromData(type, data);
    }
    if (!number) return;
    value = *number;
    ok = true;
  }

  // The values of the keys read are kept, and each key is read again only after Windows said it
  // may have changed; a key that cannot be watched is read every time. The refresh pass reads
  // its four values this way at the cost of one look at the keys' events.
  void ReadDwords(RootKey root, std::span<DwordRead> reads) override {
    WatchedValues* keys[kMaxWatchedKeys];
    std::size_t count = 0;
    for (const DwordRead& read : reads) {
      WatchedValues* key = Watched(root, read.key_path);
      if (key != nullptr && std::find(keys, keys + count, key) == keys + count) keys[count++] = key;
    }
    LookForChanges(std::span(keys, count));
    for (WatchedValues* key : std::span(keys, count)) {
      if (key->watch.state() == KeyWatch::State::kArmed) continue;
      key->values.clear();
      if (key->watch.state() == KeyWatch::State::kUnarmed) key->watch.Arm();
    }
    for (DwordRead& read : reads) {
      WatchedValues* key = Watched(root, read.key_path);
      const bool kept = key != nullptr && key->watch.state() == KeyWatch::State::kArmed;
      if (const WatchedValues::Value* value = kept ? key->Find(read.value_name) : nullptr) {
        if (value->ok) read.value = value->value;
        read.ok = value->ok;
        continue;
      }
      ReadDword(root, read.key_path, read.value_name, read.value, read.ok);
      if (kept) key->values.push_back({std::string(read.value_name), read.value, read.ok});
    }
  }

  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) override {
    const DWORD data = static_cast<DWORD>(value);
    ok = SetValue(root, key_path, value_name, REG_DWORD, &data, sizeof data);
  }

  // The text in UTF-16 with its NUL ("the string must be null-terminated", RegSetValueExW), so
  // that every character of the code page is kept, as the reads convert it back.
  void WriteString(RootKey root, std::string_view key_path, std::string_view value_name,
                   std::string_view value, bool& ok) override {
    const std::wstring text = WideFromCodePage(value);
    ok = SetValue(root, key_path, value_name, REG_SZ, text.c_str(),
                  (text.size() + 1) * sizeof(wchar_t));
  }

 private:
  // Creates the key as needed and sets the value; false when this user may not.
  bool SetValue(RootKey root, std::string_view key_path, std::string_view value_name, DWORD type,
                const void* data, std::size_t size) {
    // What this instance writes is read back at once, whenever Windows signals it.
    for (const auto& key : watched_) key->values.clear();
    const std::string path(key_path);
    UniqueKey key;
    LSTATUS status =
        ::RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | ViewOf(key_path), nullptr, key.out(), nullptr);
    if (status == ERROR_ACCESS_DENIED) return false;
    if (status != ERROR_SUCCESS) {
      throw Win32Error("cannot create registry key", KeyName(root, key_path),
                       static_cast<DWORD>(status));
    }
    const std::wstring name = WideFromCodePage(value_name);
    status = ::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                              static_cast<DWORD>(size));
    if (status == ERROR_ACCESS_DENIED) return false;
    if (status != ERROR_SUCCESS) {
      throw Win32Error("cannot write registry value", ValueName(root, key_path, value_name),
                       static_cast<DWORD>(status));
    }
    return true;
  }

  // Enough for the keys of the refresh pass; keys beyond them are read every time.
  static constexpr std::size_t kMaxWatchedKeys = 8;

  // The kept values of the key, made at its first read; nullptr when too many are kept.
  WatchedValues* Watched(RootKey root, std::string_view key_path) {
    for (const auto& key : watched_) {
      if (key->root == root && key->path == key_path) return key.get();
    }
    if (watched_.size() == kMaxWatchedKeys) return nullptr;
    return watched_.emplace_back(std::make_unique<WatchedValues>(root, key_path)).get();
  }

  // Marks the watches among `keys` that fired since they were placed, with one wait for all of
  // them when none did. A wait that fails says nothing: every key is then read again.
  static void LookForChanges(std::span<WatchedValues* const> keys) {
    HANDLE events[kMaxWatchedKeys];
    KeyWatch* watches[kMaxWatchedKeys];
    DWORD count = 0;
    for (WatchedValues* key : keys) {
      if (key->watch.state() != KeyWatch::State::kArmed) continue;
      events[count] = key->watch.event();
      watches[count++] = &key->watch;
    }
    while (count > 0) {
      const DWORD signalled = ::WaitForMultipleObjects(count, events, FALSE, 0);
      if (signalled == WAIT_TIMEOUT) return;
      if (signalled >= WAIT_OBJECT_0 + count) {
        for (DWORD i = 0; i < count; ++i) watches[i]->Fired();
        return;
      }
      // The event resets itself as the wait returns; the others are looked at again.
      const DWORD fired = signalled - WAIT_OBJECT_0;
      watches[fired]->Fired();
      events[fired] = events[--count];
      watches[fired] = watches[count];
    }
  }

  std::vector<std::unique_ptr<WatchedValues>> watched_;
};

}  // namespace

std::unique_ptr<RegistryAccess> CreateRegistryAccess() { return std::make_unique<Win32Registry>(); }

// The real registry has no file of its own.
std::string RegistryStoreLocation() { return std::string(); }

}  // namespace ordex
