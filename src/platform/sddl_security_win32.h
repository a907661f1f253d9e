#pragma once

#include <windows.h>

#include <sddl.h>

namespace ordex {

// The SECURITY_ATTRIBUTES of a security descriptor written in SDDL, for the Create functions,
// freed with its scope ("To free the returned buffer, call the LocalFree function",
// ConvertStringSecurityDescriptorToSecurityDescriptor). When the text cannot be converted, ok()
// is false and GetLastError() says why; the release keeps the last error, so that a Create
// function's code can still be read after it.
class SddlSecurity {
 public:
  explicit SddlSecurity(const wchar_t* sddl) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_,
                                                                nullptr)) {
      descriptor_ = nullptr;
    }
    attributes_ = {sizeof attributes_, descriptor_, FALSE};
  }
  ~SddlSecurity() {
    if (!descriptor_) return;
    const DWORD code = ::GetLastError();
    ::LocalFree(descriptor_);
    ::SetLastError(code);
  }
  SddlSecurity(const SddlSecurity&) = delete;
  SddlSecurity& operator=(const SddlSecurity&) = delete;

  bool ok() const { return descriptor_ != nullptr; }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace ordex
