#include "platform/file_identity.hpp"

#include <sys/stat.h>

#include <cstdio>

namespace {

bool identity_of(const char* path, std::pair<uint64_t, uint64_t>* id) {
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0) return false;
  *id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

}  // namespace

bool path_is_directory(const char* path) {
  struct stat info;
  return path != nullptr && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool paths_name_same_file(const char* a, const char* b) {
  std::pair<uint64_t, uint64_t> ia, ib;
  return identity_of(a, &ia) && identity_of(b, &ib) && ia == ib;
}

bool remove_regular_file(const char* path) {
  struct stat info;
  if (path == nullptr || lstat(path, &info) != 0) return false;
  return S_ISREG(info.st_mode) && std::remove(path) == 0;
}

bool FileIdentitySet::add(const char* path) {
  std::pair<uint64_t, uint64_t> id;
  if (!identity_of(path, &id)) return false;
  files.emplace(id, path);
  return true;
}

const char* FileIdentitySet::find(const char* path) const {
  std::pair<uint64_t, uint64_t> id;
  if (files.empty() || !identity_of(path, &id)) return nullptr;
  const auto it = files.find(id);
  return it == files.end() ? nullptr : it->second.c_str();
}
