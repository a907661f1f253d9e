#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace ordex {

// One name for a registry store however it is spelled: the canonical path (symbolic links, "."
// and ".." resolved) of as much of it as exists, and the rest as written, normalised. A store
// that does not exist yet is thus keyed by its folder's canonical path and its name, which is
// the canonical path it will have once the first instance has created it.
inline std::string StoreKey(std::string_view scope) {
  const std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(scope));
  std::error_code error;
  std::filesystem::path key = std::filesystem::weakly_canonical(path, error);
  // A folder on the way that may not be searched: the written path is the best name left.
  if (error) key = path.lexically_normal();
  std::string text = key.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace ordex
