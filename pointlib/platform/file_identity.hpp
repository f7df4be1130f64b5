#ifndef POINTLIB_PLATFORM_FILE_IDENTITY_HPP
#define POINTLIB_PLATFORM_FILE_IDENTITY_HPP

// Whether a path names an existing directory.
bool path_is_directory(const char* path);

// Whether two paths name the same existing file, whatever their spelling
// ("./a.las" and "a.las", a symbolic or a hard link): same device and inode.
// False when either does not exist.
bool paths_name_same_file(const char* a, const char* b);

#endif  // POINTLIB_PLATFORM_FILE_IDENTITY_HPP
