#ifndef POINTLIB_PLATFORM_PROCESS_HPP
#define POINTLIB_PLATFORM_PROCESS_HPP

#include <cstdint>
#include <string>

// Id of the running process; part of temporary file names so that concurrent runs in one
// folder do not collide.
int32_t current_process_id();

// Full path of the running program's executable file (links resolved); false when the system
// cannot tell it.
bool current_executable_path(std::string* path);

#endif
