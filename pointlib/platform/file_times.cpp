#include "platform/file_times.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

bool file_creation_date(const char* name, FileDate* date) {
  if (name == nullptr) return false;
  time_t when = 0;
  struct statx info;
  if (statx(AT_FDCWD, name, 0, STATX_BTIME | STATX_MTIME, &info) != 0) return false;
  if (info.stx_mask & STATX_BTIME) {
    when = static_cast<time_t>(info.stx_btime.tv_sec);
  } else {
    when = static_cast<time_t>(info.stx_mtime.tv_sec);
  }
  struct tm parts;
  if (localtime_r(&when, &parts) == nullptr) return false;
  date->year = parts.tm_year + 1900;
  date->month = parts.tm_mon + 1;
  date->day = parts.tm_mday;
  return true;
}
