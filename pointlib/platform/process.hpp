#ifndef POINTLIB_PLATFORM_PROCESS_HPP
#define POINTLIB_PLATFORM_PROCESS_HPP

#include <cstdint>

// Id of the running process; part of temporary file names so that concurrent runs in one
// folder do not collide.
int32_t current_process_id();

#endif
