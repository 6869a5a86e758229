// A file's access or default ACL as the file system stores it, read and set by the tests
// without a library of its own.
#pragma once

#include <sys/xattr.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace qvx::test {

constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kDefaultAcl = "system.posix_acl_default";

// An ACL as stored, from entries of (tag, permissions, id): tag 1 the owner, 2 a named
// user, 4 the group, 8 a named group, 0x10 the mask, 0x20 others.
inline std::string AclBytes(std::initializer_list<std::array<uint32_t, 3>> entries) {
  std::string acl("\2\0\0\0", 4);
  for (const auto& [tag, perm, id] : entries)
    for (const uint32_t byte : {tag, tag >> 8, perm, perm >> 8, id, id >> 8, id >> 16, id >> 24})
      acl.push_back(static_cast<char>(byte & 0xFF));
  return acl;
}

// A file's access ACL as stored ("" none).
inline std::string AclOf(const std::string& path) {
  std::string acl(1024, '\0');
  const ssize_t n = ::getxattr(path.c_str(), kAccessAcl, acl.data(), acl.size());
  return acl.substr(0, n > 0 ? static_cast<size_t>(n) : 0);
}

inline bool SetAcl(const std::string& path, const char* which, std::initializer_list<std::array<uint32_t, 3>> entries) {
  const std::string acl = AclBytes(entries);
  return ::setxattr(path.c_str(), which, acl.data(), acl.size(), 0) == 0;
}

}  // namespace qvx::test
