#ifndef POINTLIB_PLATFORM_FILE_TIMES_HPP
#define POINTLIB_PLATFORM_FILE_TIMES_HPP

// Calendar date (local time) on which a file was created: its birth time where
// the file system keeps one, else its last modification. False when the file
// cannot be examined.
struct FileDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};
bool file_creation_date(const char* name, FileDate* date);

#endif  // POINTLIB_PLATFORM_FILE_TIMES_HPP
