#include "ground_command_line.hpp"

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filter/option_args.hpp"
#include "io/las_input_options.hpp"
#include "platform/run_messages.hpp"

namespace {

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void discontinued() {
  print_note("WARNING: this option has been discontinued. ignoring ...\n");
}

// The legacy class field has five bits: a class beyond 31 cannot be written as asked.
template <uint8_t GroundSettings::*CLASS>
bool take_class(GroundCommandLine& line, const char* word, const char* arg) {
  int64_t c;
  if (!option_number(word, "1 argument: classification", arg, int64_t{0}, int64_t{31}, &c)) {
    return false;
  }
  line.settings.*CLASS = uint8_t(c);
  return true;
}

template <float GroundSettings::*VALUE>
bool take_float(GroundCommandLine& line, const char* word, const char* arg) {
  double v;
  if (!option_number(word, "1 argument: value", arg, double(-FLT_MAX), double(FLT_MAX), &v)) {
    return false;
  }
  line.settings.*VALUE = float(v);
  return true;
}

template <int32_t GroundSettings::*PASSES>
bool take_passes(GroundCommandLine& line, const char* word, const char* arg) {
  int64_t n;
  if (!option_number(word, "1 argument: passes", arg, int64_t{0}, int64_t{INT_MAX}, &n)) {
    return false;
  }
  line.settings.*PASSES = int(n);
  return true;
}

// Read and checked, then without effect.
bool take_unused_value(GroundCommandLine&, const char* word, const char* arg) {
  double v;
  return option_number(word, "1 argument: value", arg, -DBL_MAX, DBL_MAX, &v);
}

bool take_step(GroundCommandLine& line, const char* word, const char* arg) {
  float step;
  if (std::sscanf(arg, "%f", &step) != 1) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: value but '%s' in not a valid value\n",
                 word, arg);
    return false;
  }
  if (!(step > 0.0f)) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: value but %g in not a valid value\n", word,
                 double(step));
    return false;
  }
  line.settings.step = step;
  return true;
}

// Every seed level is split into sub x sub shifted grids, so fewer than one leaves nothing to
// split (and a sub of 0 would divide by zero).
bool take_sub(GroundCommandLine& line, const char* word, const char* arg) {
  int sub;
  if (std::sscanf(arg, "%d", &sub) != 1) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: sub_steps but '%s' in not a valid value\n",
                 word, arg);
    return false;
  }
  if (sub < 1) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: sub_steps but %d in not a valid value\n",
                 word, sub);
    return false;
  }
  line.settings.sub = sub;
  return true;
}

// One row per option word. An option with an argument names it for the message that a missing
// argument prints, unless the argument may be left out (at the end of the line); `take` gets the
// argument (null for a switch or a left-out one) and returns false after printing its own
// message.
struct OwnOption {
  const char* word;
  const char* argument;
  bool (*take)(GroundCommandLine& line, const char* word, const char* arg);
  bool argument_optional = false;
};

#define SET(body)                                        \
  [](GroundCommandLine& l, const char*, const char* a) { \
    (void)l;                                             \
    (void)a;                                             \
    body;                                                \
    return true;                                         \
  }

const OwnOption kOwnOptions[] = {
    {"-v", nullptr, SET(l.settings.verbose = true)},
    {"-verbose", nullptr, SET(l.settings.verbose = true)},
    {"-vv", nullptr, SET(l.settings.verbose = l.settings.very_verbose = true)},
    {"-very_verbose", nullptr, SET(l.settings.verbose = l.settings.very_verbose = true)},
    {"-quiet", nullptr, SET(l.settings.quiet = true)},
    {"-wait", nullptr, SET(l.wait = true)},
    {"-gui", nullptr,
     SET(print_note("WARNING: not compiled with GUI support. ignoring '-gui' ...\n"))},
    {"-cpu64", nullptr,
     SET(print_note("WARNING: not compiled with 64 bit support. ignoring '-cpu64' ...\n"))},
    {"-cores", "number",
     SET(print_note("WARNING: not compiled with multi-core batching. ignoring '-cores' ...\n")),
     true},
    {"-step", "value", take_step},
    {"-offset", "value", take_float<&GroundSettings::offset>},
    {"-cutoff_z_above", "value", take_unused_value},
    {"-spike", "value", take_float<&GroundSettings::spike>},
    {"-down_spike", "value", take_float<&GroundSettings::down_spike>},
    {"-spike_down", "value", take_float<&GroundSettings::down_spike>},
    {"-bulge", "value", take_float<&GroundSettings::bulge>},
    {"-stddev", "value", SET(discontinued())},
    {"-iterate", "passes", take_passes<&GroundSettings::iterate_passes>},
    {"-refine", "passes", take_passes<&GroundSettings::refine_passes>},
    {"-sub", "sub_steps", take_sub},
    {"-extra_coarse", nullptr, SET(l.settings.sub = 3)},
    {"-coarse", nullptr, SET(l.settings.sub = 4)},
    {"-fine", nullptr, SET(l.settings.sub = 6)},
    {"-extra_fine", nullptr, SET(l.settings.sub = 7)},
    {"-ultra_fine", nullptr, SET(l.settings.sub = 8)},
    {"-hyper_fine", nullptr, SET(l.settings.sub = 9)},
    {"-archeology", nullptr, SET(l.settings.archeology = true)},
    {"-wilderness", nullptr, SET(l.settings.wilderness = true)},
    {"-nature", nullptr, SET(l.settings.nature = true)},
    {"-town", nullptr, SET(l.settings.town = true)},
    {"-city", nullptr, SET(l.settings.city = true)},
    {"-metro", nullptr, SET(l.settings.metro = true)},
    {"-ground_class", "classification", take_class<&GroundSettings::ground_class>},
    {"-non_ground_class", "classification", take_class<&GroundSettings::non_ground_class>},
    {"-non_ground_unchanged", nullptr, SET(l.settings.non_ground_unchanged = true)},
    {"-all_returns", nullptr, SET(l.settings.all_returns = true)},
    {"-not_airborne", nullptr, SET(l.settings.all_returns = true)},
    {"-no_bulge", nullptr, SET(l.settings.no_bulge = true)},
    {"-no_clean", nullptr, SET(l.settings.clean = false)},
    {"-pertube", nullptr, SET(l.settings.pertube = true)},
    {"-extra_pass", nullptr, SET(l.settings.extra_pass = true)},
    {"-no_iterate", nullptr, SET(l.settings.iterate_passes = 0)},
    {"-no_refine", nullptr, SET(l.settings.refine_passes = 0)},
    {"-no_stddev", nullptr, SET(discontinued())},
    {"-remain_buffered", nullptr, SET(l.settings.remain_buffered = true)},
    {"-compute_height", nullptr, SET(l.settings.compute_height = true)},
    {"-store_in_user_data", nullptr, SET(l.settings.store_in_user_data = true)},
    {"-replace_z", nullptr,
     SET(l.settings.compute_height = l.settings.replace_z = true;
         l.settings.heights_to_user_data = false)},
    {"-skip_files", nullptr, SET(l.settings.skip_files = true)},
};

#undef SET

const OwnOption* find_own_option(const char* word) {
  for (const OwnOption& option : kOwnOptions) {
    if (std::strcmp(option.word, word) == 0) return &option;
  }
  return nullptr;
}

GroundExit end_run(uint8_t code, bool usage = false) {
  GroundExit exit;
  exit.now = true;
  exit.code = code;
  exit.usage = usage;
  return exit;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

void ground_prepare_arguments(int argc, char** argv, GroundCommandLine* line) {
  bool layers_out = false;
  for (int i = 1; i < argc; i++) {
    if (static_cast<unsigned char>(argv[i][0]) == 0x96) argv[i][0] = '-';
    if (starts_with(argv[i], "-olay")) layers_out = true;
  }
  if (!layers_out) return;
  line->has_command_text = true;
  line->command_text.clear();
  for (int i = 0; i < argc; i++) {
    if (i > 0) line->command_text += ' ';
    line->command_text += argv[i];
  }
}

GroundExit ground_take_arguments(int argc, char** argv, GroundCommandLine* line) {
  for (int i = 1; i < argc; i++) {
    const char* word = argv[i];
    if (word[0] == '\0') continue;
    const bool has_next = i + 1 < argc;
    if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "-help") == 0) {
      print_ground_options();
      print_ground_version();
      return end_run(0, true);
    }
    if (std::strcmp(word, "-version") == 0) {
      print_ground_version();
      return end_run(0);
    }
    if (const OwnOption* option = find_own_option(word)) {
      if (option->argument == nullptr) {
        option->take(*line, word, nullptr);
        continue;
      }
      // An optional argument is left out at the end of the line or before the next option.
      if (option->argument_optional && (!has_next || is_option_word(argv[i + 1]))) {
        option->take(*line, word, nullptr);
        continue;
      }
      if (!has_next) {
        std::fprintf(stderr, "ERROR: '%s' needs 1 argument: %s\n", word, option->argument);
        return end_run(1);
      }
      const std::string needs = std::string("1 argument: ") + option->argument;
      if (!option_value(word, needs.c_str(), argv[i + 1])) return end_run(1);
      i++;
      if (!option->take(*line, word, argv[i])) return end_run(1);
      continue;
    }
    if (starts_with(word, "-ilay")) {
      line->ilay = true;
      if (std::strcmp(word, "-ilaydir") == 0) {
        if (!has_next) {
          std::fprintf(stderr, "ERROR: '%s' needs 1 argument: directory name\n", word);
          return end_run(1);
        }
        if (!option_value(word, "1 argument: directory name", argv[i + 1])) return end_run(1);
        i++;
        line->has_ilay_directory = true;
        line->ilay_directory = argv[i];
      } else if (std::strcmp(word, "-ilay") == 0 && has_next) {
        // A layer number may follow; every layer is applied, so it is read over.
        const char* next = argv[i + 1];
        if (is_digit(next[0]) || (next[0] == '-' && is_digit(next[1]))) i++;
      }
      continue;
    }
    if (starts_with(word, "-olay")) {
      line->olay = true;
      if (std::strcmp(word, "-olaydir") == 0) {
        if (!has_next) {
          std::fprintf(stderr, "ERROR: '%s' needs 1 argument: directory name\n", word);
          return end_run(1);
        }
        if (!option_value(word, "1 argument: directory name", argv[i + 1])) return end_run(1);
        i++;
        line->has_olay_directory = true;
        line->olay_directory = argv[i];
      }
      continue;
    }
    std::fprintf(stderr, "ERROR: cannot understand argument '%s'\n", word);
    return end_run(1);
  }
  if (line->settings.store_in_user_data) line->settings.heights_to_user_data = true;
  return GroundExit();
}

GroundExit ground_check_layers(const GroundCommandLine& line, const LASinputOptions& input) {
  if (!line.ilay && !line.olay) return GroundExit();
  if (!line.settings.quiet) {
    print_note(
        "WARNING: do not expect LAY files to work across different versions\n"
        "         of Mirvelox because the development of ZEDuvozev is still\n"
        "         not completed. this is just an awesome prototype as proof\n"
        "         of concept. we continue to gather community input ... (-;\n");
  }
  if (line.ilay) {
    if (input.uses_buffering()) {
      std::fprintf(stderr,
                   "ERROR: on-the-fly buffering and '-ilay' cannot currently be combined.\n");
      return end_run(1);
    }
    if (input.reads_from_stdin()) {
      std::fprintf(stderr, "ERROR: cannot use '-ilay' for piped input\n");
      return end_run(1);
    }
  }
  if (line.olay && input.has_area_limit()) {
    std::fprintf(stderr, "ERROR: inside queries and '-olay' cannot currently be combined.\n");
    return end_run(1);
  }
  return GroundExit();
}

bool read_console_line(std::FILE* in, std::string* line) {
  line->clear();
  int c = std::getc(in);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    line->push_back(char(c));
    c = std::getc(in);
  }
  if (c == '\n' && !line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

void print_ground_version() {
  std::fprintf(stderr, "talvenor_new of Mirvelox, version %d\n", TALVENOR_VERSION);
}

void print_ground_usage() {
  std::fprintf(stderr,
               "usage:\n"
               "talvenor_new -i in.vpk -o out.vpk\n"
               "talvenor_new -i *.vpk -odix _g -ovpk -cores 4 -quiet\n"
               "talvenor_new -i in.las -o out.vpk -metro -verbose\n"
               "talvenor_new -i in.vpk -o out.vpk -town -ignore_class 7\n"
               "talvenor_new -i in.vpk -o out.vpk -v -step 45 -spike 1.5 -down_spike 2.5 -bulge "
               "2.5 -offset 0.1\n"
               "talvenor_new -i in.las -o out.vpk -feet -elevation_feet\n"
               "talvenor_new -i in.vpk -o out.vpk -no_bulge\n"
               "talvenor_new -i *.vpk -v -odir ground_classified -ovpk -cores 8\n"
               "talvenor_new -i in.las -olay (classes into in.lay beside in.las or into "
               "-olaydir dir; -o and -odir are not used)\n"
               "talvenor_new -i in.las -ilay -o out.las (reads in.las through in.lay or "
               "-ilaydir dir)\n"
               "talvenor_new -h\n");
}

void print_ground_options() {
  // The library's sections list the shared options; these are the tool's own.
  std::fprintf(stderr,
               "Options of talvenor_new.\n"
               "  -wilderness -nature -town -city -metro (step for the kind of terrain)\n"
               "  -archeology -extra_coarse -coarse -fine -extra_fine -ultra_fine -hyper_fine\n"
               "  -step 25 -offset 0.05 -spike 1 -down_spike 1 -bulge 2.5 -stddev 20\n"
               "  -cutoff_z_above 100 -no_bulge -no_clean -no_stddev -no_iterate -no_refine\n"
               "  -all_returns -not_airborne -extra_pass\n"
               "  -ground_class 2 -non_ground_class 1 -non_ground_unchanged\n"
               "  -compute_height -store_in_user_data -replace_z (heights above ground)\n"
               "  -buffered 25 -neighbors a.las b.las -neighbors_lof tiles.txt -remain_buffered\n"
               "  -merged -stored -pipe_on -skip_files\n"
               "  -olay -olaydir layers -ilay -ilay 2 -ilaydir layers (edit layers)\n"
               "  -epsg 32632 -utm 32N -sp83 CA_I -tm ... -lcc ... -ellipsoid 23 (projection)\n"
               "  -feet -survey_feet -meter -elevation_feet -elevation_meter -vertical_epsg 5703\n"
               "  -v -vv -quiet -wait -version -h\n"
               "  -cores is ignored: run one process per tile.\n");
}

void exit_tool(uint8_t code, bool wait) {
  if (wait) {
    std::fprintf(stderr, "<press ENTER>\n");
    std::getc(stdin);
  }
  std::exit(code);
}

void usage(uint8_t code, bool wait) {
  print_ground_usage();
  exit_tool(code, wait);
}
