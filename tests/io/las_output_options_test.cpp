#include "io/las_output_options.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_header.hpp"
#include "core/las_writer.hpp"
#include "file_bytes.hpp"
#include "temp_dir.hpp"

namespace {

// The file's bytes, or "<missing>" when it cannot be opened.
std::string read_file(const std::string& name) {
  return std::ifstream(name).good() ? file_text(name) : "<missing>";
}

std::string str(const char* text) {
  return text ? text : "<null>";
}

}  // namespace

// Command lines and input names against the output names they give. An input
// of "" means no call of build_name; "<none>" calls it without an input name.
TEST(LASoutputOptions, OutputNames) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int number;
    std::string name;
    uint32_t format;
    std::string messages;
  };
  const std::string temp_warning =
      "WARNING: generated output name 'tile.las'\n"
      "         identical to input name. changed to 'temp.las'.\n"
      "         you can override this safety measure with '-oforce'.\n";
  const Case cases[] = {
      // Names given with "-o", in command-line order with the edits.
      {{"-o", "out"}, "", 0, "out.las", 0, ""},
      {{"-obin", "-o", "out"}, "", 0, "out.bin", 3, ""},
      {{"-o", "a.las", "-obin"}, "", 0, "a.bin", 3, ""},
      // The extension follows a format option, whichever comes first.
      {{"-o", "a.las", "-otxt"}, "", 0, "a.txt", 6, ""},
      {{"-o", "name", "-otxt"}, "", 0, "name.txt", 6, ""},
      {{"-otxt", "-o", "a.las"}, "", 0, "a.txt", 6, ""},
      {{"-o", "a.csv", "-otxt"}, "", 0, "a.csv", 6, ""},
      {{"-o", "a.ply", "-otxt"}, "", 0, "a.ply", 6, ""},
      {{"-o", "x.CSV"}, "", 0, "x.CSV", 6, ""},
      {{"-o", "x.pts"}, "", 0, "x.pts", 6, ""},
      {{"-o", "x.ptx"}, "", 0, "x.ptx", 6, ""},
      {{"-o", "x.VPK"}, "", 0, "x.VPK", 2, ""},
      {{"-o", "x.qi"}, "", 0, "x.qi", 4, ""},
      {{"-o", "x.xyz"}, "", 0, "x.xyz", 6, ""},
      {{"-o", "x.wrl  "}, "", 0, "x.wrl", 5, ""},
      {{"-ovpk", "-o", "x.las"}, "", 0, "x.vpk", 2, ""},
      {{"-o", "a.las", "-odix", "_g"}, "", 0, "a_g.las", 1, ""},
      {{"-odix", "_g", "-o", "a.las"}, "", 0, "a_g.las", 1, ""},
      {{"-o", "dir/a.las", "-odir", "/tmp"}, "", 0, "/tmp/a.las", 1, ""},
      {{"-odir", "/tmp/", "-o", "dir/a.las"}, "", 0, "/tmp/a.las", 1, ""},
      {{"-o", "abcd.las", "-ocut", "2"}, "", 0, "ab.las", 1, ""},
      {{"-ocut", "1", "-o", "abcd"}, "", 0, "abc.las", 0, ""},
      {{"-o", "dir.v2/name", "-odix", "_x"}, "", 0, "dir.v2/name_x.las", 0, ""},
      // A cut as long as the name part is refused and the name stays.
      {{"-o", "ab.las", "-ocut", "2"},
       "",
       0,
       "ab.las",
       1,
       "WARNING: cannot cut 2 characters from the 2 characters of 'ab.las'. not cut.\n"},
      // Names derived from the input.
      {{}, "tile.las", -1, "tile_1.las", 0, ""},
      {{"-odix", "_g"}, "tile.las", -1, "tile_g.las", 0, ""},
      {{"-odir", "/tmp"}, "tile.las", -1, "/tmp/tile.las", 0, ""},
      {{"-odir", "/tmp"}, "data/tile.las", -1, "/tmp/tile.las", 0, ""},
      {{"-ocut", "2"}, "tile.las", -1, "ti.las", 0, ""},
      {{"-otxt"}, "tile.las", -1, "tile_1.txt", 6, ""},
      {{"-ovpk"}, "tile.las", -1, "tile_1.vpk", 2, ""},
      {{}, "data.v2/tile", -1, "data.v2/tile_1.las", 0, ""},
      {{"-ocut", "4"},
       "tile.las",
       -1,
       "temp.las",
       0,
       "WARNING: cannot cut 4 characters from the 4 characters of 'tile.las'. not cut.\n" +
           temp_warning},
      {{}, "tile.las", -2, "temp.las", 0, temp_warning},
      {{"-oforce"}, "tile.las", -2, "tile.las", 0, ""},
      {{}, "<none>", -1, "output.las", 0, ""},
      // Numbered names.
      {{}, "<none>", 42, "output_0000042.las", 0, ""},
      {{"-ovpk"}, "<none>", 7, "output_0000007.vpk", 2, ""},
      {{},
       "<none>",
       123456789,
       "output_3456789.las",
       0,
       "WARNING: file name number 123456789 too big to store in 'output_3456789.las'. use more "
       "digits.\n"},
      {{}, "tile_000.las", 7, "tile_007.las", 0, ""},
      {{"-odir", "/tmp"}, "in/tile_00.las", 12, "/tmp/tile_12.las", 0, ""},
      {{"-o", "part_00.las"}, "<none>", 3, "part_03.las", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " input " + c.input);
    LASoutputOptions options;
    ArgVector av(c.args);
    testing::internal::CaptureStderr();
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    if (!c.input.empty()) {
      options.build_name(c.input == "<none>" ? nullptr : c.input.c_str(), c.number);
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(str(options.current_name()), c.name);
    EXPECT_EQ(options.format, c.format);
    EXPECT_EQ(messages, c.messages);
    EXPECT_TRUE(av.left().empty());
  }
}

// A name whose extension names no format we write would get text that no reader of that
// extension can read: refused, whatever else the line says, unless -otxt asks for text.
TEST(LASoutputOptions, NameWithoutAnOutputFormatIsRefused) {
  const std::string refusal =
      "ERROR: output file '%s' has an extension that names no output format.\n"
      "       use .las .vpk .bin .qi .wrl or, for text, .txt .csv .xyz .pts .ptx,\n"
      "       or choose the format with -olas -ovpk -obin -oqfit -otxt.\n";
  for (const char* name : {"out.ply", "out.asc", "out.shp", "o.laz"}) {
    SCOPED_TRACE(name);
    LASoutputOptions options;
    ArgVector av({"-o", name});
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.take_arguments(av.argc(), av.argv()), 0);
    std::string expected = refusal;
    expected.replace(expected.find("%s"), 2, name);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
  }
}

// Every option with its effect, the message for a missing argument and the
// result.
TEST(LASoutputOptions, OptionTable) {
  struct Case {
    std::vector<std::string> args;
    int result;
    std::string messages;
    std::vector<std::string> left;
    std::string check;  // what to look at, in the form "field=value"
  };
  const Case cases[] = {
      {{"-o"}, 0, "ERROR: '-o' needs 1 argument: file_name\n", {"-o"}, ""},
      {{"-odir"}, 0, "ERROR: '-odir' needs 1 argument: directory\n", {"-odir"}, ""},
      {{"-odir", "/no/such/dir"},
       0,
       "ERROR: '/no/such/dir' is not a valid directory\n",
       {"-odir", "/no/such/dir"},
       ""},
      {{"-odix"}, 0, "ERROR: '-odix' needs 1 argument: appendix\n", {"-odix"}, ""},
      {{"-ocut"},
       0,
       "ERROR: '-ocut' needs 1 argument: number of characters to cut\n",
       {"-ocut"},
       ""},
      {{"-ocut", "-3"},
       0,
       "ERROR: cannot cut -3 characters. the number must be 0 or more.\n",
       {"-ocut", "-3"},
       ""},
      {{"-chunk_size"},
       0,
       "ERROR: '-chunk_size' needs 1 argument: number_points\n",
       {"-chunk_size"},
       ""},
      {{"-oparse"}, 0, "ERROR: '-oparse' needs 1 argument: string\n", {"-oparse"}, ""},
      {{"-osep"}, 0, "ERROR: '-osep' needs 1 argument: separator\n", {"-osep"}, ""},
      {{"-oscale_rgb"}, 0, "ERROR: '-oscale_rgb' needs 1 argument: scale\n", {"-oscale_rgb"}, ""},
      {{"-io_obuffer"}, 0, "ERROR: '-io_obuffer' needs 1 argument: size\n", {"-io_obuffer"}, ""},
      {{"-chunk_size", "1000"}, 1, "", {}, "chunk_size=1000"},
      {{"-chunk_size", "many"},
       0,
       "ERROR: '-chunk_size' needs 1 argument: number_points but 'many' is not a valid value\n",
       {"-chunk_size", "many"},
       ""},
      {{"-odix", "-olas"},
       0,
       "ERROR: '-odix' needs 1 argument: appendix but '-olas' is an option, not a value\n",
       {"-odix", "-olas"},
       ""},
      {{"-io_obuffer", "4096"}, 1, "", {}, "io_obuffer_size=4096"},
      {{"-oscale_rgb", "0.5"}, 1, "", {}, "scale_rgb=0.5"},
      {{"-oparse", "xyz"}, 1, "", {}, "parse_string=xyz"},
      {{"-osep", "comma"}, 1, "", {}, "separator=comma"},
      {{"-opts"}, 1, "", {}, "opts=1"},
      {{"-optx"}, 1, "", {}, "optx=1"},
      {{"-oforce"}, 1, "", {}, "force=1"},
      {{"-compatible"}, 1, "", {}, "native=0"},
      {{"-compatible", "-native"}, 1, "", {}, "native=1"},
      {{"-stdout"}, 1, "", {}, "stdout=1 nil=0"},
      {{"-stdout", "-nil"}, 1, "", {}, "stdout=0 nil=1"},
      {{"-nil", "-stdout"}, 1, "", {}, "stdout=1 nil=0"},
      {{"-olas"}, 1, "", {}, "format=1"},
      {{"-ovpk"}, 1, "", {}, "format=2"},
      {{"-obin"}, 1, "", {}, "format=3"},
      {{"-oqi"}, 1, "", {}, "format=4"},
      {{"-oqfit"}, 1, "", {}, "format=4"},  // the spelling the usage text shows
      {{"-owrl"}, 1, "", {}, "format=5"},
      {{"-otxt"}, 1, "", {}, "format=6"},
      {{"-odir", "/tmp"}, 1, "", {}, "directory=/tmp"},
      {{"-odir", ""}, 1, "", {}, "directory=<null>"},
      // Unknown words stay; an en dash (0x96) reads as '-'.
      {{"-keep_class", "2", "-o", "x.las", "-foo"},
       1,
       "",
       {"-keep_class", "2", "-foo"},
       "name=x.las"},
      {{"\x96olas", "", "-i"}, 1, "", {"-i"}, "format=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASoutputOptions options;
    ArgVector av(c.args);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.take_arguments(av.argc(), av.argv()), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    EXPECT_EQ(av.left(), c.left);
    const std::string& k = c.check;
    if (k.empty()) continue;
    char seen[256];
    if (k.rfind("chunk_size=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "chunk_size=%u", options.chunk_size);
    } else if (k.rfind("io_obuffer_size=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "io_obuffer_size=%u", options.io_obuffer_size);
    } else if (k.rfind("scale_rgb=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "scale_rgb=%g", options.scale_rgb);
    } else if (k.rfind("parse_string=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "parse_string=%s", str(options.get_parse_string()).c_str());
    } else if (k.rfind("separator=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "separator=%s", str(options.get_separator()).c_str());
    } else if (k.rfind("opts=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "opts=%d", options.opts);
    } else if (k.rfind("optx=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "optx=%d", options.optx);
    } else if (k.rfind("force=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "force=%d", options.force);
    } else if (k.rfind("native=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "native=%d", options.native);
    } else if (k.rfind("stdout=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "stdout=%d nil=%d", options.use_stdout, options.use_nil);
    } else if (k.rfind("format=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "format=%u", options.format);
    } else if (k.rfind("directory=", 0) == 0) {
      std::snprintf(seen, sizeof(seen), "directory=%s", str(options.get_directory()).c_str());
    } else {
      std::snprintf(seen, sizeof(seen), "name=%s", str(options.current_name()).c_str());
    }
    EXPECT_EQ(std::string(seen), k);
  }
}

TEST(LASoutputOptions, DefaultsAndHelp) {
  LASoutputOptions options;
  EXPECT_EQ(options.io_obuffer_size, 262144u);
  EXPECT_EQ(options.chunk_size, 50000u);
  EXPECT_TRUE(options.native);
  EXPECT_EQ(options.format, 0u);
  EXPECT_EQ(options.has_destination(), 0);
  EXPECT_EQ(options.current_name(), nullptr);
  ArgVector av({"-h", "-o"});
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Supported LAS Outputs\n"
            "  -o lidar.las\n"
            "  -o lidar.vpk\n"
            "  -o xyzta.txt -oparse xyzta (on-the-fly to ASCII)\n"
            "  -o terrasolid.bin\n"
            "  -o nasa.qi\n"
            "  -odir C:\\data\\ground (specify output directory)\n"
            "  -odix _classified (specify file name appendix)\n"
            "  -ocut 2 (cut the last two characters from name)\n"
            "  -olas -ovpk -otxt -obin -oqfit (specify format)\n"
            "  -stdout (pipe to stdout)\n"
            "  -nil    (pipe to NULL)\n");
}

TEST(LASoutputOptions, CompressorKindFollowsFormatAndNative) {
  struct Case {
    std::vector<std::string> args;
    uint16_t kind;
  };
  const Case cases[] = {
      {{"-o", "x.VPK"}, 3},   {{"-o", "x.vpk", "-compatible"}, 2},
      {{"-o", "x.las"}, 0},   {{"-ovpk", "-compatible", "-native"}, 3},
      {{"-nil", "-ovpk"}, 3}, {{}, 0},
  };
  for (const Case& c : cases) {
    LASoutputOptions options;
    ArgVector av(c.args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    EXPECT_EQ(options.compressor_kind(), c.kind) << ::testing::PrintToString(c.args);
  }
}

TEST(LASoutputOptions, SetFormatAndDirectoryEdges) {
  LASoutputOptions options;
  EXPECT_EQ(options.set_format(7), 0);
  EXPECT_FALSE(options.format_fixed);
  options.set_name("a.las");
  EXPECT_EQ(options.set_format(4), 1);
  EXPECT_EQ(str(options.current_name()), "a.qi");
  EXPECT_EQ(options.set_format(0), 1);
  EXPECT_EQ(str(options.current_name()), "a.las");
  options.set_name(nullptr);
  EXPECT_EQ(options.current_name(), nullptr);

  testing::internal::CaptureStderr();
  EXPECT_EQ(options.set_directory("/no;such\"dir"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: specified '-odir' seems to contain a substring '\\\"' such\n"
            "         as -odir \"D:\\\" or -odir \"..\\tiles\\\". this command will\n"
            "         probably fail. please use -odir \"D:\" or -odir \"..\\tiles\"\n"
            "         instead.\n");
  EXPECT_EQ(options.set_directory("/"), 1);
  options.set_name("in/x.las");
  EXPECT_EQ(str(options.current_name()), "/x.las");
  EXPECT_EQ(options.set_directory(nullptr), 1);
  EXPECT_EQ(options.get_directory(), nullptr);
}

// Writers that cannot open fail with their own message, then the opener's
// line, and leave no writer and no file.
TEST(LASoutputOptions, OpenWriterFailures) {
  TempDir dir;
  LASheader header;
  header.min_x = 500000.0;
  header.max_x = 500100.0;
  struct Case {
    std::vector<std::string> args;
    std::string messages;
  };
  const std::string base = dir.path + "/out";
  const std::string missing = dir.path + "/no/such/dir/out";
  const Case cases[] = {
      {{}, "ERROR: no laswriter output specified\n"},
      {{"-o", base + ".qi"},
       "ERROR: bounding box (500000 0 / 500100 0) exceeds longitude / latitude\n"
       "ERROR: cannot open laswriterqfit with file name '" +
           base + ".qi'\n"},
      {{"-stdout", "-oqfit"},
       "ERROR: bounding box (500000 0 / 500100 0) exceeds longitude / latitude\n"
       "ERROR: cannot open laswriterqfit to stdout\n"},
      {{"-o", base + ".txt", "-osep", "pipe"},
       "ERROR: unknown seperator 'pipe'\n"
       "ERROR: cannot open laswritertxt with file name '" +
           base + ".txt'\n"},
      {{"-o", base + ".txt", "-oparse", "xyz0"},
       "ERROR: extra bytes attribute '0' does not exist.\n"
       "ERROR: cannot open laswritertxt with file name '" +
           base + ".txt'\n"},
      {{"-stdout", "-otxt", "-oparse", ""},
       "ERROR: the parse string is empty\n"
       "ERROR: cannot open laswritertxt to stdout\n"},
      {{"-o", missing + ".bin"},
       "ERROR: cannot open file '" + missing + ".bin'\n" +
           "ERROR: cannot open laswriterbin with file name '" + missing + ".bin'\n"},
      {{"-o", missing + ".wrl"},
       "ERROR: cannot open file '" + missing + ".wrl'\n" +
           "ERROR: cannot open laswriterwrl with file name '" + missing + ".wrl'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASoutputOptions options;
    ArgVector av(c.args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.open_writer(&header), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
  }
  EXPECT_EQ(read_file(base + ".qi"), "<missing>");
  EXPECT_EQ(read_file(base + ".txt"), "<missing>");
}

// An output that names the input under another spelling or through a link
// is refused before anything is opened, and the input keeps its bytes.
TEST(LASoutputOptions, RefusesToOverwriteTheInput) {
  TempDir dir;
  const std::string input = dir.file("a.las", "input bytes that must survive");
  const std::string link = dir.path + "/link.las";
  ASSERT_EQ(symlink(input.c_str(), link.c_str()), 0);
  const std::string hard = dir.path + "/hard.las";
  ASSERT_EQ(::link(input.c_str(), hard.c_str()), 0);
  const std::string spellings[] = {input, dir.path + "/./a.las", dir.path + "//a.las", link, hard};
  LASheader header;
  for (const std::string& output : spellings) {
    for (bool force : {false, true}) {
      SCOPED_TRACE(output + (force ? " -oforce" : ""));
      LASoutputOptions options;
      ArgVector av({"-o", output});
      ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
      options.set_force(force);
      testing::internal::CaptureStderr();
      EXPECT_EQ(options.open_writer(&header, input.c_str()), nullptr);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: output file '" + output +
                                                            "' is the input file '" + input +
                                                            "'. refusing to overwrite it.\n");
      EXPECT_EQ(read_file(input), "input bytes that must survive");
    }
  }
  // The input given to build_name counts as well.
  LASoutputOptions options;
  options.set_force(true);
  options.build_name(input.c_str(), -2);
  EXPECT_EQ(str(options.current_name()), input);
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.open_writer(&header), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refusing to overwrite"),
            std::string::npos);
  EXPECT_EQ(read_file(input), "input bytes that must survive");
}

// Every input of a run and every output it wrote are refused by any spelling,
// whichever input the writer is opened for; other names are opened. A failed
// output is removed, but only when it is a regular file of its own.
TEST(LASoutputOptions, RefusesEveryInputAndEarlierOutputOfTheRun) {
  TempDir dir;
  const std::string first = dir.file("first.las", "first input");
  const std::string later = dir.file("later.las", "later input");
  const std::string written = dir.file("written.las", "earlier output");
  const std::string hard = dir.path + "/hard.las";
  ASSERT_EQ(::link(later.c_str(), hard.c_str()), 0);
  LASoutputOptions options;
  options.protect_input(first.c_str());
  options.protect_input(later.c_str());
  options.protect_input((dir.path + "/missing.las").c_str());
  options.protect_written_output(written.c_str());
  LASheader header;
  struct Case {
    std::string output, message;
  };
  const Case cases[] = {
      {later, "ERROR: output file '" + later + "' is the input file '" + later +
                  "'. refusing to overwrite it.\n"},
      {dir.path + "/./first.las", "ERROR: output file '" + dir.path +
                                      "/./first.las' is the input file '" + first +
                                      "'. refusing to overwrite it.\n"},
      {hard, "ERROR: output file '" + hard + "' is the input file '" + later +
                 "'. refusing to overwrite it.\n"},
      {written, "ERROR: output file '" + written + "' is the output '" + written +
                    "' written before. refusing to overwrite it.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    options.set_name(c.output.c_str());
    options.set_force(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.open_writer(&header, first.c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
  }
  EXPECT_EQ(read_file(first), "first input");
  EXPECT_EQ(read_file(later), "later input");
  EXPECT_EQ(read_file(written), "earlier output");

  const std::string fresh = dir.path + "/missing.las";
  options.set_name(fresh.c_str());
  std::unique_ptr<LASwriter> writer(options.open_writer(&header, first.c_str()));
  ASSERT_NE(writer, nullptr);
  writer->close_output(true);
  EXPECT_TRUE(options.remove_output());
  EXPECT_EQ(read_file(fresh), "<missing>");
  EXPECT_FALSE(options.remove_output());
  const std::string link = dir.path + "/link.las";
  ASSERT_EQ(symlink(written.c_str(), link.c_str()), 0);
  options.set_name(link.c_str());
  EXPECT_FALSE(options.remove_output());
  EXPECT_EQ(read_file(link), "earlier output");
}

// "-nil" gives a LAS writer that only counts, whatever the format; a file
// name gives a LAS writer on that file.
TEST(LASoutputOptions, OpensLasWriters) {
  TempDir dir;
  LASheader header;
  struct Case {
    std::vector<std::string> args;
    std::string file;  // made by the writer, or ""
  };
  const std::string base = dir.path + "/w";
  const Case cases[] = {
      {{"-nil"}, ""},
      {{"-stdout", "-nil", "-otxt"}, ""},
      {{"-o", base + "1.las"}, base + "1.las"},
      {{"-o", base + "2", "-olas"}, base + "2.las"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASoutputOptions options;
    ArgVector av(c.args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASwriter> writer(options.open_writer(&header));
    ASSERT_NE(writer, nullptr);
    EXPECT_GT(writer->close_output(), 0);
    if (!c.file.empty()) {
      EXPECT_EQ(read_file(c.file).substr(0, 4), "LASF");
    }
  }
  LASoutputOptions options;
  ArgVector av({"-o", dir.path + "/no/such/dir/x.las"});
  ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.open_writer(&header), nullptr);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("ERROR: cannot open laswriterlas with file name '" + dir.path +
                          "/no/such/dir/x.las'\n"),
            std::string::npos)
      << messages;
}

// "-stdout" writes LAS to descriptor 1 (here a file put in its place).
TEST(LASoutputOptions, WritesLasToStandardOutput) {
  TempDir dir;
  const std::string target = dir.file("stdout.las", "");
  LASheader header;
  LASoutputOptions options;
  ArgVector av({"-stdout"});
  ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  std::fflush(stdout);
  const int saved = dup(1);
  ASSERT_GE(saved, 0);
  FILE* f = std::fopen(target.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  dup2(fileno(f), 1);
  std::fclose(f);
  std::unique_ptr<LASwriter> writer(options.open_writer(&header));
  const bool opened = writer != nullptr;
  int64_t bytes = 0;
  if (writer) bytes = writer->close_output();
  writer.reset();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  ASSERT_TRUE(opened);
  const std::string written = read_file(target);
  EXPECT_EQ(static_cast<int64_t>(written.size()), bytes);
  EXPECT_EQ(written.substr(0, 4), "LASF");
}
