#include "ground_command_line.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/las_input_options.hpp"

namespace {

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void discontinued() {
  std::fprintf(stderr, "WARNING: this option has been discontinued. ignoring ...\n");
}

// Class numbers keep their low five bits: the legacy class field has no more.
uint8_t class_bits(const char* arg) {
  return uint8_t(std::atoi(arg) & 31);
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
     SET(std::fprintf(stderr, "WARNING: not compiled with GUI support. ignoring '-gui' ...\n"))},
    {"-cpu64", nullptr,
     SET(std::fprintf(stderr,
                      "WARNING: not compiled with 64 bit support. ignoring '-cpu64' ...\n"))},
    {"-cores", "number",
     SET(std::fprintf(stderr,
                      "WARNING: not compiled with multi-core batching. ignoring '-cores' ...\n")),
     true},
    {"-step", "value", take_step},
    {"-offset", "value", SET(l.settings.offset = float(std::atof(a)))},
    {"-cutoff_z_above", "value", SET()},
    {"-spike", "value", SET(l.settings.spike = float(std::atof(a)))},
    {"-down_spike", "value", SET(l.settings.down_spike = float(std::atof(a)))},
    {"-spike_down", "value", SET(l.settings.down_spike = float(std::atof(a)))},
    {"-bulge", "value", SET(l.settings.bulge = float(std::atof(a)))},
    {"-stddev", "value", SET(discontinued())},
    {"-iterate", "passes", SET(l.settings.iterate_passes = std::atoi(a))},
    {"-refine", "passes", SET(l.settings.refine_passes = std::atoi(a))},
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
    {"-ground_class", "classification", SET(l.settings.ground_class = class_bits(a))},
    {"-non_ground_class", "classification", SET(l.settings.non_ground_class = class_bits(a))},
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
      if (!has_next) {
        if (option->argument_optional) {
          option->take(*line, word, nullptr);
          continue;
        }
        std::fprintf(stderr, "ERROR: '%s' needs 1 argument: %s\n", word, option->argument);
        return end_run(1);
      }
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
    std::fprintf(stderr,
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
