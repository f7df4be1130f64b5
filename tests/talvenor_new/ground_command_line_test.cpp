// The ground tool's own options, read from argument vectors in the process.
#include "ground_command_line.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "io/las_input_options.hpp"

namespace {

struct ParsedLine {
  GroundCommandLine line;
  GroundExit exit;
  std::string err;
  std::vector<std::string> left;  // entries not blanked by anything
};

// Runs the pre-pass and the tool's own loop only (no other parser), then derives the mode.
ParsedLine parse(const std::vector<std::string>& words) {
  ParsedLine p;
  ArgVector args(words);
  testing::internal::CaptureStderr();
  ground_prepare_arguments(args.argc(), args.argv(), &p.line);
  p.exit = ground_take_arguments(args.argc(), args.argv(), &p.line);
  p.err = testing::internal::GetCapturedStderr();
  if (!p.exit.now) derive_mode_settings(p.line.settings);
  return p;
}

struct SettingsRow {
  std::vector<std::string> words;
  float step;
  int32_t sub;
  float spike;
  float offset;
  uint8_t ground_class;
  uint8_t non_ground_class;
};

constexpr float U = GROUND_UNSET;

const SettingsRow kSettings[] = {
    {{}, 25, 5, U, U, 2, 1},
    {{"-step", "12"}, 12, 4, U, U, 2, 1},
    {{"-step", "5"}, 5, 3, U, U, 2, 1},  // 5 is not greater than 5
    {{"-step", "5.5"}, 5.5f, 4, U, U, 2, 1},
    {{"-fine", "-sub", "5"}, 25, 5, U, U, 2, 1},
    {{"-sub", "5", "-fine"}, 25, 6, U, U, 2, 1},
    {{"-extra_coarse"}, 25, 3, U, U, 2, 1},
    {{"-coarse"}, 25, 4, U, U, 2, 1},
    {{"-extra_fine"}, 25, 7, U, U, 2, 1},
    {{"-ultra_fine"}, 25, 8, U, U, 2, 1},
    {{"-hyper_fine"}, 25, 9, U, U, 2, 1},
    {{"-city", "-metro"}, 50, 7, U, U, 2, 1},
    {{"-town", "-nature"}, 10, 4, U, U, 2, 1},
    {{"-wilderness"}, 3, 3, U, U, 2, 1},
    {{"-archeology"}, 1, 3, 0.35f, 0.02f, 2, 1},
    {{"-archeology", "-spike", "1"}, 1, 3, 1, 0.02f, 2, 1},
    {{"-archeology", "-offset", "0.5"}, 1, 3, 0.35f, 0.5f, 2, 1},
    {{"-metro", "-step", "30"}, 30, 5, U, U, 2, 1},
    {{"-ground_class", "31"}, 25, 5, U, U, 31, 1},
    {{"-ground_class", "8", "-non_ground_class", "0"}, 25, 5, U, U, 8, 0},
    {{"\x96step", "12"}, 12, 4, U, U, 2, 1},
    {{"-spike_down", "2", "-spike", "1.5"}, 25, 5, 1.5f, U, 2, 1},
};

TEST(GroundCommandLine, SettingsFromTheOptions) {
  for (const SettingsRow& row : kSettings) {
    std::string name;
    for (const std::string& w : row.words) name += w + " ";
    const ParsedLine p = parse(row.words);
    ASSERT_FALSE(p.exit.now) << name << p.err;
    EXPECT_EQ(p.err, "") << name;
    const GroundSettings& s = p.line.settings;
    EXPECT_EQ(s.step, row.step) << name;
    EXPECT_EQ(s.sub, row.sub) << name;
    EXPECT_EQ(s.spike, row.spike) << name;
    EXPECT_EQ(s.offset, row.offset) << name;
    EXPECT_EQ(s.ground_class, row.ground_class) << name;
    EXPECT_EQ(s.non_ground_class, row.non_ground_class) << name;
  }
}

struct FlagRow {
  std::vector<std::string> words;
  bool (*holds)(const GroundCommandLine& line);
};

const FlagRow kFlags[] = {
    {{"-v"},
     [](const GroundCommandLine& l) { return l.settings.verbose && !l.settings.very_verbose; }},
    {{"-verbose"}, [](const GroundCommandLine& l) { return l.settings.verbose; }},
    {{"-vv"},
     [](const GroundCommandLine& l) { return l.settings.verbose && l.settings.very_verbose; }},
    {{"-very_verbose"},
     [](const GroundCommandLine& l) { return l.settings.verbose && l.settings.very_verbose; }},
    {{"-quiet"}, [](const GroundCommandLine& l) { return l.settings.quiet; }},
    {{"-wait"}, [](const GroundCommandLine& l) { return l.wait; }},
    {{"-bulge", "2.5", "-down_spike", "3"},
     [](const GroundCommandLine& l) {
       return l.settings.bulge == 2.5f && l.settings.down_spike == 3.0f;
     }},
    {{"-iterate", "3", "-refine", "7"},
     [](const GroundCommandLine& l) {
       return l.settings.iterate_passes == 3 && l.settings.refine_passes == 7;
     }},
    {{"-no_iterate", "-no_refine"},
     [](const GroundCommandLine& l) {
       return l.settings.iterate_passes == 0 && l.settings.refine_passes == 0;
     }},
    {{"-cutoff_z_above", "7"}, [](const GroundCommandLine&) { return true; }},
    {{"-non_ground_unchanged", "-no_bulge", "-no_clean", "-pertube", "-extra_pass",
      "-remain_buffered", "-skip_files"},
     [](const GroundCommandLine& l) {
       const GroundSettings& s = l.settings;
       return s.non_ground_unchanged && s.no_bulge && !s.clean && s.pertube && s.extra_pass &&
              s.remain_buffered && s.skip_files;
     }},
    {{"-all_returns"}, [](const GroundCommandLine& l) { return l.settings.all_returns; }},
    {{"-not_airborne"}, [](const GroundCommandLine& l) { return l.settings.all_returns; }},
    {{"-compute_height"},
     [](const GroundCommandLine& l) {
       return l.settings.compute_height && !l.settings.replace_z && l.settings.heights_to_user_data;
     }},
    {{"-replace_z"},
     [](const GroundCommandLine& l) {
       return l.settings.compute_height && l.settings.replace_z && !l.settings.heights_to_user_data;
     }},
    {{"-replace_z", "-store_in_user_data"},
     [](const GroundCommandLine& l) {
       return l.settings.replace_z && l.settings.heights_to_user_data;
     }},
    {{"-store_in_user_data", "-replace_z"},
     [](const GroundCommandLine& l) {
       return l.settings.replace_z && l.settings.heights_to_user_data;
     }},
    {{"-ilay", "3", "-olay"}, [](const GroundCommandLine& l) { return l.ilay && l.olay; }},
    {{"-ilay", "-3"}, [](const GroundCommandLine& l) { return l.ilay; }},
    {{"-ilay", "-v"}, [](const GroundCommandLine& l) { return l.ilay && l.settings.verbose; }},
    {{"-ilay1"}, [](const GroundCommandLine& l) { return l.ilay; }},
    {{"-ilaydir", "lay"},
     [](const GroundCommandLine& l) {
       return l.ilay && l.has_ilay_directory && l.ilay_directory == "lay";
     }},
    {{"-olaydir", "out"},
     [](const GroundCommandLine& l) {
       return l.olay && l.has_olay_directory && l.olay_directory == "out";
     }},
    {{"-olay_anything"}, [](const GroundCommandLine& l) { return l.olay && !l.ilay; }},
    {{"-quiet", "-cores"}, [](const GroundCommandLine& l) { return l.settings.quiet; }},
    {{"-cores", "-quiet", "-v"},  // an option word is no number of cores
     [](const GroundCommandLine& l) { return l.settings.quiet && l.settings.verbose; }},
    {{"-cores", "4", "-v"}, [](const GroundCommandLine& l) { return l.settings.verbose; }},
};

TEST(GroundCommandLine, Switches) {
  for (const FlagRow& row : kFlags) {
    std::string name;
    for (const std::string& w : row.words) name += w + " ";
    const ParsedLine p = parse(row.words);
    ASSERT_FALSE(p.exit.now) << name << p.err;
    EXPECT_TRUE(row.holds(p.line)) << name;
  }
}

struct ExitRow {
  std::vector<std::string> words;
  uint8_t code;
  bool usage;
  const char* err;
};

// Stands for the help text, which the test reads from the tool itself.
const char* const kHelp = "<help>";

const ExitRow kExits[] = {
    {{"-step", "0"},
     1,
     false,
     "ERROR: '-step' needs 1 argument: value but 0 in not a valid value\n"},
    {{"-step", "-2"},
     1,
     false,
     "ERROR: '-step' needs 1 argument: value but -2 in not a valid value\n"},
    {{"-step", "abc"},
     1,
     false,
     "ERROR: '-step' needs 1 argument: value but 'abc' in not a valid value\n"},
    {{"-step"}, 1, false, "ERROR: '-step' needs 1 argument: value\n"},
    {{"-offset"}, 1, false, "ERROR: '-offset' needs 1 argument: value\n"},
    {{"-cutoff_z_above"}, 1, false, "ERROR: '-cutoff_z_above' needs 1 argument: value\n"},
    {{"-stddev"}, 1, false, "ERROR: '-stddev' needs 1 argument: value\n"},
    {{"-iterate"}, 1, false, "ERROR: '-iterate' needs 1 argument: passes\n"},
    {{"-refine"}, 1, false, "ERROR: '-refine' needs 1 argument: passes\n"},
    {{"-sub"}, 1, false, "ERROR: '-sub' needs 1 argument: sub_steps\n"},
    {{"-ground_class"}, 1, false, "ERROR: '-ground_class' needs 1 argument: classification\n"},
    {{"-non_ground_class"},
     1,
     false,
     "ERROR: '-non_ground_class' needs 1 argument: classification\n"},
    {{"-ilaydir"}, 1, false, "ERROR: '-ilaydir' needs 1 argument: directory name\n"},
    {{"-olaydir"}, 1, false, "ERROR: '-olaydir' needs 1 argument: directory name\n"},
    {{"-v", "-feet"}, 1, false, "ERROR: cannot understand argument '-feet'\n"},
    {{"-ilay", "x"}, 1, false, "ERROR: cannot understand argument 'x'\n"},
    {{"-ilay", "-step", "0"},
     1,
     false,
     "ERROR: '-step' needs 1 argument: value but 0 in not a valid value\n"},
    {{"-version"}, 0, false, "talvenor_new of Mirvelox, version 210531\n"},
    // kHelp: the tool's own options, then the version line.
    {{"-h"}, 0, true, kHelp},
    {{"-help", "-step", "0"}, 0, true, kHelp},
};

std::string help_text() {
  testing::internal::CaptureStderr();
  print_ground_options();
  return testing::internal::GetCapturedStderr() + "talvenor_new of Mirvelox, version 210531\n";
}

TEST(GroundCommandLine, EndsTheRun) {
  const std::string help = help_text();
  EXPECT_NE(help.find("  -buffered 25 -neighbors"), std::string::npos) << help;
  for (const ExitRow& row : kExits) {
    std::string name;
    for (const std::string& w : row.words) name += w + " ";
    const ParsedLine p = parse(row.words);
    EXPECT_TRUE(p.exit.now) << name;
    EXPECT_EQ(p.exit.code, row.code) << name;
    EXPECT_EQ(p.exit.usage, row.usage) << name;
    EXPECT_FALSE(p.exit.wait) << name;
    EXPECT_EQ(p.err, std::string(row.err) == kHelp ? help : std::string(row.err)) << name;
  }
}

TEST(GroundCommandLine, DiscontinuedAndUncompiledOptionsWarn) {
  const ParsedLine p = parse({"-gui", "-cpu64", "-stddev", "3", "-no_stddev", "-cores", "4"});
  EXPECT_FALSE(p.exit.now);
  EXPECT_EQ(p.err,
            "WARNING: not compiled with GUI support. ignoring '-gui' ...\n"
            "WARNING: not compiled with 64 bit support. ignoring '-cpu64' ...\n"
            "WARNING: this option has been discontinued. ignoring ...\n"
            "WARNING: this option has been discontinued. ignoring ...\n"
            "WARNING: not compiled with multi-core batching. ignoring '-cores' ...\n");
}

TEST(GroundCommandLine, BlankEntriesAreReadOver) {
  ArgVector args({"", "-v", ""});
  GroundCommandLine line;
  EXPECT_FALSE(ground_take_arguments(args.argc(), args.argv(), &line).now);
  EXPECT_TRUE(line.settings.verbose);
}

TEST(GroundCommandLine, EnDashBecomesAMinusForEveryParser) {
  ArgVector args({"\x96v", "-i", "\x96quiet"});
  GroundCommandLine line;
  ground_prepare_arguments(args.argc(), args.argv(), &line);
  EXPECT_EQ(args.left(), (std::vector<std::string>{"-v", "-i", "-quiet"}));
  EXPECT_FALSE(line.has_command_text);
}

TEST(GroundCommandLine, CommandTextHoldsEveryArgument) {
  // A shell turns "-i *.las" into thousands of names; the text keeps all of them.
  std::vector<std::string> words = {"-i"};
  std::string expected = "prog -i";
  for (int k = 0; k < 2000; k++) {
    words.push_back("tile_" + std::to_string(k) + ".las");
    expected += " " + words.back();
  }
  words.push_back("\x96olay");
  expected += " -olay";
  ArgVector args(words);
  GroundCommandLine line;
  ground_prepare_arguments(args.argc(), args.argv(), &line);
  ASSERT_TRUE(line.has_command_text);
  EXPECT_GT(line.command_text.size(), 4096u);
  EXPECT_EQ(line.command_text, expected);
}

TEST(GroundCommandLine, LayerChecks) {
  struct Row {
    std::vector<std::string> words;
    const char* err;
    bool ends;
  };
  const std::string warning =
      "WARNING: do not expect LAY files to work across different versions\n"
      "         of Mirvelox because the development of ZEDuvozev is still\n"
      "         not completed. this is just an awesome prototype as proof\n"
      "         of concept. we continue to gather community input ... (-;\n";
  const Row rows[] = {
      {{"-i", "a.las"}, "", false},
      {{"-ilay", "-i", "a.las"}, "", false},
      {{"-olay", "-quiet", "-i", "a.las"}, "", false},
      {{"-ilay", "-stdin", "-quiet"}, "ERROR: cannot use '-ilay' for piped input\n", true},
      {{"-olay", "-stdin", "-quiet"}, "", false},
      {{"-olay", "-quiet", "-i", "a.las", "-inside", "0", "0", "1", "1"},
       "ERROR: inside queries and '-olay' cannot currently be combined.\n",
       true},
      {{"-ilay", "-quiet", "-i", "a.las", "-inside", "0", "0", "1", "1"}, "", false},
  };
  for (const Row& row : rows) {
    std::string name;
    for (const std::string& w : row.words) name += w + " ";
    ArgVector args(row.words);
    LASinputOptions input;
    GroundCommandLine line;
    testing::internal::CaptureStderr();
    ground_prepare_arguments(args.argc(), args.argv(), &line);
    ASSERT_TRUE(input.take_arguments(args.argc(), args.argv(), true)) << name;
    ASSERT_FALSE(ground_take_arguments(args.argc(), args.argv(), &line).now) << name;
    const GroundExit exit = ground_check_layers(line, input);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(exit.now, row.ends) << name;
    if (row.ends) {
      EXPECT_EQ(exit.code, 1) << name;
    }
    const bool warns = (line.ilay || line.olay) && !line.settings.quiet;
    EXPECT_EQ(err, (warns ? warning : std::string()) + row.err) << name;
  }
}

TEST(GroundCommandLine, ConsoleLinesLoseOnlyTheirLineEnd) {
  struct Row {
    std::string input;
    std::vector<std::string> lines;  // what successive reads return until nothing is left
  };
  const Row rows[] = {
      {"", {}},
      {"\n", {""}},
      {"a.las\n", {"a.las"}},
      {"a.las", {"a.las"}},  // no line end: the last character stays
      {"a.las\r\nb.las\n", {"a.las", "b.las"}},
      {"x\ry\n", {"x\ry"}},
      {std::string(300, 'n') + "\n", {std::string(300, 'n')}},  // longer than any fixed buffer
  };
  for (const Row& row : rows) {
    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    std::fwrite(row.input.data(), 1, row.input.size(), in);
    std::rewind(in);
    std::vector<std::string> lines;
    std::string line;
    while (read_console_line(in, &line)) lines.push_back(line);
    std::fclose(in);
    EXPECT_EQ(lines, row.lines) << row.input;
  }
}

}  // namespace
