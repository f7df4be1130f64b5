#ifndef POINTLIB_PLATFORM_FILE_GLOB_HPP
#define POINTLIB_PLATFORM_FILE_GLOB_HPP

#include <string>
#include <vector>

// Expands a file-name pattern against the file system and appends every match
// (files and directories alike, in sorted order) to `matches`, each with the
// directory part the pattern was given with. Only '*' and '?' are wildcards,
// as users of list files expect; every other character, '[' and '\' included,
// stands for itself. A name without '*' or '?' is taken as it is and matches
// when such a file or directory exists. Returns the number of matches found.
size_t file_glob(const char* pattern, std::vector<std::string>& matches);

// Whether a file or directory of this exact name exists.
bool file_exists(const char* name);

#endif
