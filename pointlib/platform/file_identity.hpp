#ifndef POINTLIB_PLATFORM_FILE_IDENTITY_HPP
#define POINTLIB_PLATFORM_FILE_IDENTITY_HPP

#include <cstdint>
#include <map>
#include <string>
#include <utility>

// Whether a path names an existing directory.
bool path_is_directory(const char* path);

// Whether two paths name the same existing file, whatever their spelling
// ("./a.las" and "a.las", a symbolic or a hard link): same device and inode.
// False when either does not exist.
bool paths_name_same_file(const char* a, const char* b);

// Removes the file a path names when it is a regular file itself (never a
// device, a pipe, a directory or a symbolic link). False when nothing was
// removed.
bool remove_regular_file(const char* path);

// Files remembered by device and inode, so that any later spelling or link of
// one of them is recognised.
class FileIdentitySet {
 public:
  // Remembers the file `path` names, shown by that name; false (nothing
  // remembered) when it names no existing file.
  bool add(const char* path);
  // The name the file `path` names was remembered by; null when none.
  const char* find(const char* path) const;
  bool empty() const { return files.empty(); }

 private:
  std::map<std::pair<uint64_t, uint64_t>, std::string> files;
};

#endif  // POINTLIB_PLATFORM_FILE_IDENTITY_HPP
