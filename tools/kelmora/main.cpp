// kelmora: compares elevation rasters cell by cell and says on standard error
// whether they are identical.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "batching.hpp"
#include "geo/las_geo_projector.hpp"
#include "input_batch.hpp"
#include "io/las_input_options.hpp"
#include "platform/run_messages.hpp"
#include "raster_compare.hpp"
#include "sr_write_settings.hpp"

namespace {

[[noreturn]] void exit_tool(int code, bool wait) {
  if (wait) {
    fprintf(stderr, "<press ENTER>\n");
    getc(stdin);
  }
  exit(code);
}

[[noreturn]] void print_usage(int code, bool wait) {
  static const char* const kLines[] = {
      "usage:\n",
      "kelmora -i dem.tif -i dem.vpk\n",
      "kelmora -i dem.img -i dem.vpk\n",
      "kelmora -i dem.asc -i dem.vpk\n",
      "kelmora -i dem.bil -i dem.vpk\n",
      "kelmora -i dem1.vpk -i dem2.vpk\n",
      "kelmora -i *.tif\n",
      "kelmora -i *.img\n",
      "kelmora -i *.asc\n",
      "kelmora -i *.bil\n",
  };
  for (const char* line : kLines) fputs(line, stderr);
  exit_tool(code, wait);
}

// Seconds on a monotonic clock; only differences are used.
double elapsed_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// One line from the console without its line end; empty at the end of input.
std::string prompt_line(const char* prompt) {
  fputs(prompt, stderr);
  char line[256];
  if (fgets(line, sizeof(line), stdin) == nullptr) return std::string();
  size_t n = strlen(line);
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
  return line;
}

}  // namespace

int main(int argc, char* argv[]) {
  LASinputOptions inputs;
  // Rasters carry their own georeference; no projection option is read into it.
  LASgeoProjector geo;
  SRwriteSettings settings;
  int cores = 1;
  bool cpu64 = false;
  bool quiet = false;
  const bool wait = argc == 1;

  if (argc == 1) {
    fprintf(stderr, "%s is better run in the command line\n", argv[0]);
    std::string file1 = prompt_line("enter input file1: ");
    if (!file1.empty()) inputs.add_file_names_wildcard(file1.c_str(), false);
    std::string file2 = prompt_line("enter input file2: ");
    if (!file2.empty()) inputs.add_file_names_wildcard(file2.c_str(), false);
  } else {
    for (int i = 1; i < argc; i++) {
      if (argv[i][0] == '\0') continue;
      // An en dash (Windows-1252) typed or pasted in place of '-'.
      if (static_cast<unsigned char>(argv[i][0]) == 0x96) argv[i][0] = '-';
      if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "-help") == 0) print_usage(0, false);
    }
    // Only errors are printed under "-quiet", by the readers as by this tool.
    set_quiet_run(quiet_asked(argc, argv));
    // No ignore options here: the comparison looks at cells, not points.
    if (!inputs.take_arguments(argc, argv, false)) exit_tool(1, false);
    for (int i = 1; i < argc; i++) {
      if (argv[i][0] == '\0') continue;
      if (strcmp(argv[i], "-v") == 0 || strcmp(argv[i], "-verbose") == 0 ||
          strcmp(argv[i], "-vv") == 0) {
        // accepted; children get it too
      } else if (strcmp(argv[i], "-quiet") == 0) {
        quiet = true;
      } else if (strcmp(argv[i], "-version") == 0) {
        fprintf(stderr, "kelmora of the Mirvelox tools, version 210531\n");
        exit_tool(0, false);
      } else if (strcmp(argv[i], "-gui") == 0) {
        print_note("WARNING: not compiled with GUI support. ignoring '-gui' ...\n");
      } else if (strcmp(argv[i], "-cores") == 0) {
        if (i + 1 >= argc) {
          fprintf(stderr, "ERROR: '%s' needs 1 argument: number\n", argv[i]);
          print_usage(1, false);
        }
        argv[i][0] = '\0';
        i++;
        cores = atoi(argv[i]);
        argv[i][0] = '\0';
      } else if (strcmp(argv[i], "-cpu64") == 0) {
        cpu64 = true;
        argv[i][0] = '\0';
      } else {
        fprintf(stderr, "ERROR: cannot understand argument '%s'\n", argv[i]);
        exit_tool(1, false);
      }
    }

    const uint32_t count = inputs.get_file_name_number();
    if (cores > 1 && count < 2) {
      print_note("WARNING: only %u input file(s). ignoring '-cores %d' ...\n", count, cores);
    } else if (cores > 1 && inputs.merged) {
      print_note("WARNING: input files merged on-the-fly. ignoring '-cores %d' ...\n", cores);
    } else if (cores > 1) {
      return run_on_cores(argc, argv, batch_inputs_from(inputs), &settings, cores, cpu64 ? 1 : 0);
    }
    if (cpu64) {
      return run_on_cores(argc, argv, batch_inputs_from(inputs), &settings, cores > 1 ? cores : 1,
                          1);
    }
  }

  // Rasters are opened by name: "-stdin" alone names nothing to compare.
  if (!inputs.has_more_input() || inputs.get_file_name_number() == 0) {
    fprintf(stderr, "ERROR: no input specified\n");
    exit_tool(1, wait);
  }

  // The raster readers deliver every cell: without a word, a verdict would pass
  // for one on the chosen points alone.
  if (inputs.get_filter() || inputs.get_transform() || inputs.get_inside_tile() ||
      inputs.get_inside_circle() || inputs.get_inside_rectangle()) {
    print_note(
        "WARNING: filter, transform and area-of-interest options do not apply to rasters. "
        "ignoring them ...\n");
  }

  const double run_start = quiet ? 0.0 : elapsed_seconds();
  const uint32_t count = inputs.get_file_name_number();
  int exit_code = 0;
  uint32_t j = 0;
  while (j < count) {
    const double pair_start = quiet ? 0.0 : elapsed_seconds();
    const char* file1 = inputs.get_file_name(j);
    const char* next = j + 1 < count ? inputs.get_file_name(j + 1) : nullptr;
    std::string file2;
    uint32_t advance = 1;
    if (!raster_partner(file1, next, count, &file2, &advance)) exit_tool(1, wait);
    RasterPairStatus status = RasterPairStatus::kReadFailed;
    try {
      status = compare_raster_files(file1, file2.c_str(), nullptr);
    } catch (const std::bad_alloc&) {
      // A library or a header asked for more memory than there is: no verdict.
      fprintf(stderr, "ERROR: out of memory comparing '%s' and '%s'\n", file1, file2.c_str());
      exit_tool(1, wait);
    }
    // Rasters of different sizes, or one that cannot be read, have no verdict: the run fails.
    if (status == RasterPairStatus::kSizesDiffer || status == RasterPairStatus::kReadFailed) {
      exit_tool(1, wait);
    }
    if (status == RasterPairStatus::kOpenFailed) {
      exit_code = 1;
      break;
    }
    if (!quiet) {
      fprintf(stderr, "done with '%s'. total time %g sec.\n", file1,
              elapsed_seconds() - pair_start);
    }
    settings.set_file_name(nullptr);
    j += advance;
  }
  if (!quiet && count > 1 && !inputs.merged) {
    fprintf(stderr, "done with all files. total time for %u files %g sec.\n", count,
            elapsed_seconds() - run_start);
  }
  exit_tool(exit_code, wait);
}
