#include "io/formats/decompressing_open.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/child_process.hpp"

namespace {

struct Decompressor {
  const char* extension;
  const char* program;
  const char* arguments[3];  // before the file name; null ends them
  bool by_standard_input;    // the archive is the child's standard input
};

// RAR goes through bsdtar: the `unrar` commonly on the path (unrar-free) has
// no print-to-output command and would unpack into the working folder.
const Decompressor kDecompressors[] = {
    {".gz", "gzip", {"-d"}, true},
    {".zip", "unzip", {"-p"}, false},
    {".7z", "7z", {"e", "-so"}, false},
    {".rar", "bsdtar", {"-x", "-O", "-f"}, false},
};

// The children behind open piped streams. The programs are single-threaded
// and hold at most a few such streams at once.
struct OpenChild {
  FILE* file;
  int64_t pid;
  std::string program;
  std::string file_name;
};
std::vector<OpenChild>& open_children() {
  static std::vector<OpenChild> children;
  return children;
}

// The name as the decompressor's argument: a relative name starting with '-'
// (an option) or '@' (a list file to 7z) is read as a path only behind "./".
std::string name_argument(const char* file_name) {
  if (file_name[0] == '-' || file_name[0] == '@') return std::string("./") + file_name;
  return file_name;
}

bool ends_with(const char* name, const char* extension) {
  const size_t n = std::strlen(name), e = std::strlen(extension);
  return n >= e && std::strcmp(name + n - e, extension) == 0;
}

FILE* open_piped(const Decompressor& d, const char* file_name, const char* mode) {
  if (mode == nullptr || mode[0] != 'r') return nullptr;
  std::vector<std::string> arguments;
  for (const char* a : d.arguments) {
    if (a) arguments.emplace_back(a);
  }
  int archive_fd = -1;
  if (d.by_standard_input) {
    archive_fd = open(file_name, O_RDONLY | O_CLOEXEC);
    if (archive_fd < 0) return nullptr;
  } else {
    arguments.push_back(name_argument(file_name));
  }
  int read_fd = -1;
  int error = 0;
  const int64_t pid = child_process_start_piped(d.program, arguments, archive_fd, &read_fd, &error);
  if (archive_fd >= 0) close(archive_fd);
  if (pid < 0) {
    std::fprintf(stderr, "ERROR: cannot start decompressor '%s' for '%s': %s\n", d.program,
                 file_name, std::strerror(error));
    return nullptr;
  }
  FILE* file = fdopen(read_fd, mode);
  if (file == nullptr) {
    std::fprintf(stderr, "could not create pipe\n");
    close(read_fd);
    int ignored;
    child_process_wait(pid, &ignored);
    return nullptr;
  }
  open_children().push_back({file, pid, d.program, file_name});
  return file;
}

}  // namespace

FILE* fopen_decompressing(const char* file_name, const char* mode, bool* piped) {
  if (piped) *piped = false;
  if (file_name == nullptr) return nullptr;
  for (const Decompressor& d : kDecompressors) {
    if (ends_with(file_name, d.extension)) {
      if (piped) *piped = true;
      return open_piped(d, file_name, mode);
    }
  }
  return std::fopen(file_name, mode);
}

bool fclose_decompressing(FILE* file) {
  if (file == nullptr) return true;
  std::vector<OpenChild>& children = open_children();
  size_t i = 0;
  while (i < children.size() && children[i].file != file) i++;
  if (i == children.size()) {
    std::fclose(file);
    return true;
  }
  const OpenChild child = children[i];
  children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
  char drain[4096];
  while (std::fread(drain, 1, sizeof(drain), file) > 0) {
  }
  std::fclose(file);
  int exit_code = 0;
  // A child that other code has reaped already cannot be asked; its output
  // was complete as far as the reader could tell.
  if (!child_process_wait(child.pid, &exit_code) || exit_code == 0) return true;
  std::fprintf(stderr, "ERROR: decompressor '%s' failed with exit code %d on '%s'\n",
               child.program.c_str(), exit_code, child.file_name.c_str());
  return false;
}
