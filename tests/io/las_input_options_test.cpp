#include "io/las_input_options.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader_las.hpp"
#include "filter/las_filter.hpp"
#include "las_fixture.hpp"

#include "filter/las_ignore.hpp"
#include "filter/las_transform.hpp"
#include "temp_dir.hpp"

namespace {

// A temporary directory that also writes small LAS files.
class LasDir : public TempDir {
 public:
  // A small LAS 1.2 file of format 0 with this file source ID.
  std::string las(const std::string& name, uint16_t file_source_ID = 0) const {
    FixtureFile file;
    file.file_source_ID = file_source_ID;
    std::vector<FixturePoint> points(3);
    for (int k = 0; k < 3; k++) {
      points[k].X = 100 * k;
      points[k].Y = 200 * k;
      points[k].Z = 300 * k;
    }
    const std::string full = path + "/" + name;
    EXPECT_TRUE(fixture_write_file(full, file, points));
    return full;
  }
};

using Check = std::function<void(const LASinputOptions&)>;

}  // namespace

// Every option with its effect, its message for a missing or bad argument and
// the parser's result. Unknown words stay for the next parser.
TEST(LASinputOptions, OptionTable) {
  LasDir dir;
  const std::string a = dir.file("a.las");
  const std::string b = dir.file("b.las");
  const std::string list = dir.file("list.txt", a + "\n3," + b + "\n");
  struct Case {
    std::vector<std::string> args;
    int result;
    std::string messages;
    std::vector<std::string> left;
    Check check;
    bool allow_ignore = true;
  };
  const std::string rescale3 = "ERROR: '-rescale' needs 3 arguments: rescale_x rescale_y rescale_z";
  const Case cases[] = {
      // input names
      {{"-i"}, 0, "ERROR: '-i' needs at least 1 argument: file_name or wild_card\n", {"-i"}, {}},
      {{"-i", "-merged"},
       0,
       "ERROR: '-i' needs at least 1 argument: file_name or wild_card but '-merged' is an option, "
       "not a value\n",
       {"-i", "-merged"}, {}},
      {{"-i", a, "-i", b}, 1, "", {}, [&](const LASinputOptions& o) {
         ASSERT_EQ(o.get_file_name_number(), 2u);
         EXPECT_EQ(std::string(o.get_file_name(1)), b);
       }},
      {{"-i", a, b, "-merged"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_file_name_number(), 2u);
         EXPECT_TRUE(o.merged);
       }},
      {{"-i", a, a}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_EQ(o.get_file_name_number(), 2u); }},
      {{"-unique", "-i", a, a}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_file_name_number(), 1u);
         EXPECT_TRUE(o.unique);
       }},
      {{"-i", dir.path + "/*.las"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_EQ(o.get_file_name_number(), 2u); }},
      {{"-lof"}, 0, "ERROR: '-lof' needs 1 argument: list_of_files\n", {"-lof"}, {}},
      {{"-lof", "/no/such.txt"}, 0,
       "ERROR: cannot open '/no/such.txt'\nERROR: cannot load list of files '/no/such.txt'\n",
       {"-lof", "/no/such.txt"}, {}},
      {{"-lof", list}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_file_name_number(), 2u);
         EXPECT_TRUE(o.has_file_names_ID());
       }},
      {{"-stdin"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_TRUE(o.use_stdin);
         EXPECT_TRUE(o.reads_from_stdin());
         EXPECT_TRUE(o.has_more_input());
       }},
      {{"\x96stdin"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.use_stdin); }},
      // areas
      {{"-inside_tile", "1", "2"}, 0, "ERROR: '-inside_tile' needs 3 arguments: ll_x ll_y size\n",
       {"-inside_tile", "1", "2"}, {}},
      {{"-inside_tile", "a", "2", "3"}, 0,
       "ERROR: '-inside_tile' needs 3 arguments: ll_x ll_y size, but 'a' is not a valid ll_x.\n",
       {"-inside_tile", "a", "2", "3"}, {}},
      {{"-inside_tile", "1", "b", "3"}, 0,
       "ERROR: '-inside_tile' needs 3 arguments: ll_x ll_y size, but 'b' is not a valid ll_y.\n",
       {"-inside_tile", "1", "b", "3"}, {}},
      {{"-inside_tile", "1", "2", "0"}, 0,
       "ERROR: '-inside_tile' needs 3 arguments: ll_x ll_y size, but 0.000000 is not valid a size.\n",
       {"-inside_tile", "1", "2", "0"}, {}},
      {{"-inside_tile", "10", "20", "30"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_inside_tile(), nullptr);
         EXPECT_EQ(o.get_inside_tile()[2], 30.0f);
         EXPECT_TRUE(o.has_area_limit());
       }},
      {{"-inside_circle", "1", "2"}, 0,
       "ERROR: '-inside_circle' needs 3 arguments: center_x center_y radius\n",
       {"-inside_circle", "1", "2"}, {}},
      {{"-inside_circle", "1", "2", "r"}, 0,
       "ERROR: '-inside_circle' needs 3 arguments: center_x center_y radius, but 'r' is not a valid radius.\n",
       {"-inside_circle", "1", "2", "r"}, {}},
      {{"-inside_circle", "1", "2", "-1"}, 0,
       "ERROR: '-inside_circle' needs 3 arguments: center_x center_y radius, but -1.000000 is not valid a radius.\n",
       {"-inside_circle", "1", "2", "-1"}, {}},
      {{"-inside_circle", "1", "2", "3.5"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_inside_circle(), nullptr);
         EXPECT_EQ(o.get_inside_circle()[2], 3.5);
       }},
      {{"-inside", "1", "2", "3"}, 0, "ERROR: '-inside' needs 4 arguments: min_x min_y max_x max_y\n",
       {"-inside", "1", "2", "3"}, {}},
      {{"-inside", "1", "2", "x", "4"}, 0,
       "ERROR: '-inside' needs 4 arguments: min_x min_y max_x max_y, but 'x' is not a valid max_x.\n",
       {"-inside", "1", "2", "x", "4"}, {}},
      {{"-inside", "1", "2", "1", "3"}, 0,
       "ERROR: '-inside' needs 4 arguments: min_x min_y max_x max_y, but 1.000000 / 1.000000 are not a valid min_x / max_x pair.\n",
       {"-inside", "1", "2", "1", "3"}, {}},
      {{"-inside_rectangle", "0", "5", "1", "3"}, 0,
       "ERROR: '-inside_rectangle' needs 4 arguments: min_x min_y max_x max_y, but 5.000000 / 3.000000 are not a valid min_y / max_y pair.\n",
       {"-inside_rectangle", "0", "5", "1", "3"}, {}},
      {{"-inside_rectangle", "0", "1", "2", "3"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_inside_rectangle(), nullptr);
         EXPECT_EQ(o.get_inside_rectangle()[3], 3.0);
       }},
      {{"-inside_x", "1"}, 0, "ERROR: unknown '-inside' option '-inside_x'\n", {"-inside_x", "1"}, {}},
      // text-reader settings
      {{"-iparse"}, 0, "ERROR: '-iparse' needs 1 argument: string\n", {"-iparse"}, {}},
      {{"-iparse", "xyzi"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(std::string(o.get_parse_string()), "xyzi");
       }},
      {{"-iskip"}, 0, "ERROR: '-iskip' needs 1 argument: number_of_lines\n", {"-iskip"}, {}},
      {{"-iskip", "x"}, 0,
       "ERROR: '-iskip' needs 1 argument: number_of_lines but 'x' is not a valid number.\n",
       {"-iskip", "x"}, {}},
      {{"-iskip", "0"}, 0, "ERROR: '-iskip' needs 1 argument: number_of_lines but 0 is not valid.\n",
       {"-iskip", "0"}, {}},
      {{"-iskip", "3"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_EQ(o.skip_lines, 3u); }},
      {{"-io_ibuffer"}, 0, "ERROR: '-io_ibuffer' needs 1 argument: size\n", {"-io_ibuffer"}, {}},
      {{"-io_ibuffer", "s"}, 0,
       "ERROR: '-io_ibuffer' needs 1 argument: size but 's' is not a valid size.\n",
       {"-io_ibuffer", "s"}, {}},
      {{"-io_ibuffer", "0"}, 0, "ERROR: '-io_ibuffer' needs 1 argument: size but 0 is not valid.\n",
       {"-io_ibuffer", "0"}, {}},
      {{"-io_ibuffer", "4096"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_EQ(o.io_ibuffer_size, 4096u); }},
      {{"-itranslate_intensity"}, 0, "ERROR: '-itranslate_intensity' needs 1 argument: translation\n",
       {"-itranslate_intensity"}, {}},
      {{"-itranslate_intensity", "t"}, 0,
       "ERROR: '-itranslate_intensity' needs 1 argument: translation but 't' is not valid.\n",
       {"-itranslate_intensity", "t"}, {}},
      {{"-itranslate_intensity", "0"}, 0,
       "ERROR: '-itranslate_intensity' needs 1 argument: translation but 0.000000 is not valid.\n",
       {"-itranslate_intensity", "0"}, {}},
      {{"-iscale_intensity", "0"}, 0,
       "ERROR: '-iscale_intensity' needs 1 argument: scale but 0.000000 is not valid.\n",
       {"-iscale_intensity", "0"}, {}},
      {{"-itranslate_scan_angle"}, 0, "ERROR: '-itranslate_scan_angle' needs 1 argument: translation\n",
       {"-itranslate_scan_angle"}, {}},
      {{"-iscale_scan_angle", "s"}, 0,
       "ERROR: '-iscale_scan_angle' needs 1 argument: scale but 's' is not valid.\n",
       {"-iscale_scan_angle", "s"}, {}},
      {{"-itranslate_intensity", "1024", "-iscale_intensity", "2", "-itranslate_scan_angle", "-5",
        "-iscale_scan_angle", "0.5"},
       1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.translate_intensity, 1024.0f);
         EXPECT_EQ(o.scale_intensity, 2.0f);
         EXPECT_EQ(o.translate_scan_angle, -5.0f);
         EXPECT_EQ(o.scale_scan_angle, 0.5f);
       }},
      {{"-ipts"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.itxt && o.ipts && !o.iptx); }},
      {{"-iptx"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.itxt && o.iptx && !o.ipts); }},
      {{"-itxt"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.itxt); }},
      // added attributes
      {{"-iadd_attribute", "1", "nm"}, 0,
       "ERROR: '-iadd_attribute' needs 3 arguments: data_type name description\n",
       {"-iadd_attribute", "1", "nm"}, {}},
      {{"-iadd_attribute", "1", "nm", "ds", "0.1", "-i", a}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_EQ(o.number_attributes, 1);
         EXPECT_EQ(o.attribute_data_types[0], 1u);
         EXPECT_EQ(o.attribute_names[0], "nm");
         EXPECT_EQ(o.attribute_descriptions[0], "ds");
         EXPECT_EQ(o.attribute_scales[0], 0.1);
         EXPECT_EQ(o.attribute_offsets[0], 0.0);
         EXPECT_EQ(o.attribute_no_datas[0], 2e307);
         EXPECT_EQ(o.get_file_name_number(), 1u);
       }},
      {{"-iadd_attribute", "1", "nm", "ds", "0", "0"}, 1, "", {"0", "0"}, [](const LASinputOptions& o) {
         ASSERT_EQ(o.number_attributes, 1);
         EXPECT_EQ(o.attribute_scales[0], 1.0);
       }},
      {{"-iadd_extra", "2", "nm", "ds", "2", "0", "3", "0.0", "-5", "7"}, 1, "", {"7"},
       [](const LASinputOptions& o) {
         ASSERT_EQ(o.number_attributes, 1);
         EXPECT_EQ(o.attribute_scales[0], 2.0);
         EXPECT_EQ(o.attribute_offsets[0], 0.0);
         EXPECT_EQ(o.attribute_pre_scales[0], 3.0);
         EXPECT_EQ(o.attribute_pre_offsets[0], 0.0);
         EXPECT_EQ(o.attribute_no_datas[0], -5.0);
       }},
      {{"-iadd_attribute", "11", "nm", "ds"}, 1,
       "WARNING: attribute data type 11 not supported. ignoring attribute 'nm'.\n", {},
       [](const LASinputOptions& o) { EXPECT_EQ(o.number_attributes, 0); }},
      // re-quantizing
      {{"-rescale", "0.01", "0.01"}, 0,
       "ERROR: '-rescale' needs 3 arguments: rescale_x rescale_y rescale_z\n",
       {"-rescale", "0.01", "0.01"}, {}},
      {{"-rescale", "0.01", "y", "0.01"}, 0, rescale3 + ", but 'y' is not a valid rescale_y",
       {"-rescale", "0.01", "y", "0.01"}, {}},
      {{"-rescale", "0.01", "0.01", "0"}, 0, rescale3 + ", but 0.000000 is not a valid rescale_z",
       {"-rescale", "0.01", "0.01", "0"}, {}},
      {{"-rescale", "0.01", "0.02", "0.001"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_scale_factor(), nullptr);
         EXPECT_EQ(o.get_scale_factor()[1], 0.02);
         EXPECT_EQ(o.get_scale_factor()[2], 0.001);
       }},
      {{"-rescale_xy", "0.01"}, 0, "ERROR: '-rescale_xy' needs 2 argument: rescale_x rescale_y\n",
       {"-rescale_xy", "0.01"}, {}},
      {{"-rescale_xy", "0", "0.01"}, 0,
       "ERROR: '-rescale_xy' needs 3 arguments: rescale_x rescale_y, but 0.000000 is not a valid rescale_x",
       {"-rescale_xy", "0", "0.01"}, {}},
      {{"-rescale_xy", "0.1", "0.2"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_scale_factor(), nullptr);
         EXPECT_EQ(o.get_scale_factor()[0], 0.1);
         EXPECT_EQ(o.get_scale_factor()[2], 0.0);
       }},
      {{"-rescale_z"}, 0, "ERROR: '-rescale_z' needs 1 argument: rescale_z\n", {"-rescale_z"}, {}},
      {{"-rescale_z", "q"}, 0, "ERROR: '-rescale_z' needs 1 argument: rescale_z, but 'q' is not a valid rescale_z",
       {"-rescale_z", "q"}, {}},
      {{"-rescale_z", "0.5"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_scale_factor(), nullptr);
         EXPECT_EQ(o.get_scale_factor()[0], 0.0);
         EXPECT_EQ(o.get_scale_factor()[2], 0.5);
       }},
      {{"-reoffset", "1", "2"}, 0,
       "ERROR: '-reoffset' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z\n",
       {"-reoffset", "1", "2"}, {}},
      {{"-reoffset", "1", "z", "2"}, 0,
       "ERROR: '-reoffset' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but 'z' is not a valid reoffset_y",
       {"-reoffset", "1", "z", "2"}, {}},
      {{"-reoffset", "600000", "0", "-3"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_offset(), nullptr);
         EXPECT_EQ(o.get_offset()[0], 600000.0);
         EXPECT_EQ(o.get_offset()[2], -3.0);
       }},
      {{"-auto_reoffset"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.auto_reoffset); }},
      // flags and the rest
      {{"-comma_not_point"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.comma_not_point); }},
      {{"-stored"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.stored); }},
      {{"-merged"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.merged); }},
      {{"-pipe_on"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.pipe_on); }},
      {{"-populate"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_TRUE(o.populate_header); }},
      {{"-populate", "-do_not_populate"}, 1, "", {}, [](const LASinputOptions& o) { EXPECT_FALSE(o.populate_header); }},
      {{"-buffered"}, 0, "ERROR: '-buffered' needs 1 argument: buffer_size\n", {"-buffered"}, {}},
      {{"-buffered", "w"}, 0,
       "ERROR: '-buffered' needs 1 argument: buffer_size. but 'w' is not a valid buffer_size",
       {"-buffered", "w"}, {}},
      {{"-buffered", "0"}, 0, "ERROR: '-buffered' needs 1 argument: buffer_size, but 0.000000 is not valid",
       {"-buffered", "0"}, {}},
      {{"-buffered", "25"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.buffer_size, 25.0f);
         EXPECT_FALSE(o.uses_buffering());
       }},
      {{"-temp_files"}, 0, "ERROR: '-temp_files' needs 1 argument: base name\n", {"-temp_files"}, {}},
      {{"-temp_files", "tmp_"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(std::string(o.get_temp_file_base()), "tmp_");
       }},
      {{"-neighbors"}, 0, "ERROR: '-neighbors' needs at least 1 argument: file_name or wild_card\n",
       {"-neighbors"}, {}},
      {{"-neighbors_lof"}, 0, "ERROR: '-neighbors_lof' needs at least 1 argument: file_name\n",
       {"-neighbors_lof"}, {}},
      {{"-neighbors_lof", "/no/such.txt"}, 0,
       "ERROR: cannot open '/no/such.txt'\nERROR: cannot load neighbor list of files '/no/such.txt'\n",
       {"-neighbors_lof", "/no/such.txt"}, {}},
      {{"-neighbors", b}, 0,
       "ERROR: neighbors only make sense when used with '-buffered 50' or similar\n", {}, {}},
      {{"-i", a, b, "-neighbors", b, "-buffered", "10"}, 0,
       "ERROR: neighbors only supported for one buffered input file, not for 2\n", {}, {}},
      {{"-i", a, "-neighbors", b, b, "-buffered", "10"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_neighbor_file_name_number(), 2u);
         EXPECT_TRUE(o.uses_buffering());
       }},
      {{"-faf_index"}, 0, "ERROR: '-faf_index' needs 1 argument: index\n", {"-faf_index"}, {}},
      // ignore rules
      {{"-ignore_class", "2"}, 0, "ERROR: this tool does not process '-ignore_xxxx' options\n",
       {"-ignore_class", "2"}, {}, false},
      // the other parsers over the same vector
      {{"-keep_class", "2", "-foo", "-o", "x.las"}, 1, "", {"-foo", "-o", "x.las"},
       [](const LASinputOptions& o) {
         ASSERT_NE(o.get_filter(), nullptr);
         EXPECT_EQ(o.get_filter()->count(), 1u);
       }},
      {{"", "-foo", ""}, 1, "", {"-foo"}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_filter(), nullptr);
         EXPECT_FALSE(o.has_more_input());
       }},
      // ignore rules, filter and transform share the vector
      {{"-ignore_class", "2", "7", "-ignore_first", "-foo"}, 1, "", {"-foo"},
       [](const LASinputOptions& o) {
         ASSERT_NE(o.get_ignore(), nullptr);
         EXPECT_NE(o.get_ignore()->flags, 0u);
       }},
      {{"-keep_class", "2", "-translate_z", "1"}, 1, "", {}, [](const LASinputOptions& o) {
         ASSERT_NE(o.get_filter(), nullptr);
         ASSERT_NE(o.get_transform(), nullptr);
         EXPECT_EQ(o.get_transform()->num_operations(), 1u);
       }},
      {{"-keep_class", "2", "-translate_z", "1", "-filtered_transform"}, 1, "", {},
       [](const LASinputOptions& o) {
         EXPECT_EQ(o.get_filter(), nullptr);
         ASSERT_NE(o.get_transform(), nullptr);
         EXPECT_NE(o.get_transform()->get_filter(), nullptr);
       }},
      {{"-translate_z", "1", "-filtered_transform"}, 1,
       "WARNING: no LASfilter specified. '-filtered_transform' has no effect.\n", {},
       [](const LASinputOptions& o) { EXPECT_NE(o.get_transform(), nullptr); }},
      {{"-keep_class", "2", "-filtered_transform"}, 1,
       "WARNING: no LAStransform specified. '-filtered_transform' has no effect.\n", {},
       [](const LASinputOptions& o) {
         EXPECT_NE(o.get_filter(), nullptr);
         EXPECT_EQ(o.get_transform(), nullptr);
       }},
      {{"-faf"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.files_are_flightlines, 1);
         EXPECT_NE(o.get_transform(), nullptr);
       }},
      {{"-files_are_flightlines", "5", "-faf_index", "3"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_EQ(o.files_are_flightlines, 5);
         EXPECT_EQ(o.files_are_flightlines_index, 2);
       }},
      {{"-faf", "70000"}, 1, "WARNING: files_are_flightlines start value 70000 is too large\n", {},
       [](const LASinputOptions& o) { EXPECT_EQ(o.files_are_flightlines, 70000); }},
      {{"-faf", "65535"}, 1, "", {}, {}},
      {{"-faf", "65535", "-faf_index", "2"}, 1,
       "WARNING: files_are_flightlines start value 65535 plus index 2 is too large\n", {}, {}},
      {{"-faf_index", "70000"}, 1, "WARNING: files_are_flightlines_index index value 70000 is too large\n", {}, {}},
      {{"-apply_file_source_ID"}, 1, "", {}, [](const LASinputOptions& o) {
         EXPECT_TRUE(o.apply_file_source_ID);
         EXPECT_NE(o.get_transform(), nullptr);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASinputOptions options;
    ArgVector av(c.args);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.take_arguments(av.argc(), av.argv(), c.allow_ignore), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    EXPECT_EQ(av.left(), c.left);
    if (c.check) c.check(options);
  }
}

TEST(LASinputOptions, HelpStopsTheParse) {
  LASinputOptions options;
  ArgVector av({"-h", "-keep_class", "2", "-i"});
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  const std::string help = testing::internal::GetCapturedStderr();
  const std::string own = "Supported LAS Inputs\n  -i lidar.las\n";
  EXPECT_NE(help.find(own), std::string::npos);
  const std::string tail = "  -inside_circle center_x center_y radius\n";
  ASSERT_GE(help.size(), tail.size());
  EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
  EXPECT_EQ(options.get_filter(), nullptr);
  EXPECT_EQ(av.left(), (std::vector<std::string>{"-h", "-keep_class", "2", "-i"}));
}

TEST(LASinputOptions, DefaultsAndSetters) {
  LASinputOptions o;
  EXPECT_EQ(o.io_ibuffer_size, 262144u);
  EXPECT_EQ(o.files_are_flightlines_index, -1);
  EXPECT_EQ(o.scale_intensity, 1.0f);
  EXPECT_EQ(o.item_selection, 0xFFFFFFFFu);
  EXPECT_EQ(o.attribute_no_datas[31], 2e307);
  EXPECT_EQ(o.current_name(), nullptr);
  EXPECT_FALSE(o.has_more_input());
  EXPECT_EQ(o.open_next_reader(), nullptr);  // nothing to read, no message
  const double xyz[3] = {0.5, 0.0, 0.25};
  o.set_scale_factor(xyz);
  ASSERT_NE(o.get_scale_factor(), nullptr);
  o.set_scale_factor(nullptr);
  EXPECT_EQ(o.get_scale_factor(), nullptr);
  // A 0 keeps the axis for readers that take all three factors.
  const double current[3] = {0.01, 0.02, 0.03};
  double out[3];
  LASinputOptions::complete_scale_factor(xyz, current, out);
  EXPECT_EQ(out[0], 0.5);
  EXPECT_EQ(out[1], 0.02);
  EXPECT_EQ(out[2], 0.25);
  o.set_parse_string("xyz");
  EXPECT_EQ(std::string(o.get_parse_string()), "xyz");
  o.set_parse_string(nullptr);
  EXPECT_EQ(o.get_parse_string(), nullptr);
  testing::internal::CaptureStderr();
  o.add_attribute(0, "zero", "d");
  for (int k = 0; k < 33; k++) o.add_attribute(9, "n", "d");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: attribute data type 0 not supported. ignoring attribute 'zero'.\n"
            "WARNING: at most 32 attributes can be added. ignoring attribute 'n'.\n");
  EXPECT_EQ(o.number_attributes, 32);
}

// The reader class follows from a substring anywhere in the name; readers this
// build lacks fail with a message naming the reader.
TEST(LASinputOptions, ReaderChoiceByName) {
  LasDir dir;
  struct Case {
    std::string name;
    std::string messages;
  };
  const std::string p = dir.path + "/";
  const Case cases[] = {
      {"data.las.bin", "ERROR: cannot open file '" + p +
                           "data.las.bin' for read\n"
                           "ERROR: cannot open lasreaderlas with file name '" +
                           p + "data.las.bin'\n"},
      {"x.VPK", "ERROR: cannot open file '" + p +
                    "x.VPK' for read\n"
                    "ERROR: cannot open lasreaderlas with file name '" +
                    p + "x.VPK'\n"},
      {"x.QI", "ERROR: cannot open file '" + p +
                   "x.QI'\n"
                   "ERROR: cannot open lasreaderqfit with file name '" +
                   p + "x.QI'\n"},
      {"x.xyz", "ERROR: cannot open file '" + p +
                    "x.xyz'\n"
                    "ERROR: cannot open lasreadertxt with file name '" +
                    p + "x.xyz'\n"},
      {"x.bin", "ERROR: cannot open file '" + p +
                    "x.bin'\n"
                    "ERROR: cannot open lasreaderbin with file name '" +
                    p + "x.bin'\n"},
      {"x.SHP", "ERROR: cannot open file '" + p +
                    "x.SHP'\n"
                    "ERROR: cannot open lasreadershp with file name '" +
                    p + "x.SHP'\n"},
      {"x.asc", "ERROR: cannot open file '" + p +
                    "x.asc'\n"
                    "ERROR: cannot open lasreaderasc with file name '" +
                    p + "x.asc'\n"},
      {"x.BIL", "ERROR: cannot open files '" + p + "x.hdr' or '" + p + "x.HDR'\n" +
                    "ERROR: reading the *.hdr file for '" + p + "x.BIL'\n" +
                    "ERROR: cannot open lasreaderbil with file name '" + p + "x.BIL'\n"},
      {"x.dtm", "ERROR: cannot open file '" + p +
                    "x.dtm'\n"
                    "ERROR: cannot open lasreaderdtm with file name '" +
                    p + "x.dtm'\n"},
      {"x.ply", "ERROR: cannot open file '" + p +
                    "x.ply'\n"
                    "ERROR: cannot open lasreaderply with file name '" +
                    p + "x.ply'\n"},
      {"x.ply.qi", "ERROR: cannot open file '" + p +
                       "x.ply.qi'\n"
                       "ERROR: cannot open lasreaderply with file name '" +
                       p + "x.ply.qi'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LASinputOptions options;
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.open_next_reader((p + c.name).c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    EXPECT_EQ(std::string(options.current_name()), p + c.name);
  }
}

// The wrapping readers over inputs their reader refuses fail with the
// reader's clear error and then their own opener line.
TEST(LASinputOptions, WrappersOverRefusedInputs) {
  LasDir dir;
  const std::string a = dir.las("a.las");
  const std::string t = dir.file("t.bin", "x");
  const std::string u = dir.file("u.bin", "x");
  const std::string short_bin = "ERROR: reading terrasolid header\n";
  struct Case {
    std::vector<std::string> args;
    std::string messages;
  };
  const Case cases[] = {
      {{"-i", t, u, "-merged"},
       short_bin + "ERROR: could not open lasreaderbin for file '" + t + "'\n" +
           "ERROR: cannot open lasreadermerged with 2 file names\n"},
      {{"-i", t, a, "-buffered", "10"},
       short_bin + "ERROR: cannot open lasreaderbin with file name '" + t + "'\n" +
           "ERROR: opening '" + t + "'\n" +
           "ERROR: cannot open lasreaderbuffered with 2 file names\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASinputOptions options;
    ArgVector av(c.args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.open_next_reader(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
  }
  LASinputOptions options;
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.rebuild_reader(nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: pointer to LASreader is NULL\n");
}

// The re-quantizing variant follows from the options.
TEST(LASinputOptions, ReaderVariants) {
  LasDir dir;
  const std::string a = dir.las("a.las");
  struct Case {
    std::vector<std::string> args;
    int kind;  // 0 plain, 1 rescale, 2 reoffset, 3 both
    bool auto_offset;
    double x_scale, z_scale;
  };
  const Case cases[] = {
      {{}, 0, false, 0.01, 0.01},
      {{"-rescale", "0.001", "0.001", "0.001"}, 1, false, 0.001, 0.001},
      {{"-rescale", "0.01", "0.01", "0.001", "-auto_reoffset"}, 3, true, 0.01, 0.001},
      {{"-reoffset", "1", "2", "3"}, 2, false, 0.01, 0.01},
      {{"-auto_reoffset"}, 2, true, 0.01, 0.01},
      {{"-rescale", "0.1", "0.1", "0.1", "-reoffset", "0", "0", "0"}, 3, false, 0.1, 0.1},
      // A 0 on an axis keeps its factor.
      {{"-rescale_z", "0.001"}, 1, false, 0.01, 0.001},
      {{"-rescale_xy", "0.1", "0.1"}, 1, false, 0.1, 0.01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASinputOptions options;
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-i", a});
    ArgVector av(args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASreader> reader(options.open_next_reader());
    ASSERT_NE(reader, nullptr);
    auto* both = dynamic_cast<LASreaderLASrescalereoffset*>(reader.get());
    auto* rescale = dynamic_cast<LASreaderLASrescale*>(reader.get());
    auto* reoffset = dynamic_cast<LASreaderLASreoffset*>(reader.get());
    const int kind = both ? 3 : rescale ? 1 : reoffset ? 2 : 0;
    EXPECT_EQ(kind, c.kind);
    if (reoffset) {
      EXPECT_EQ(reoffset->auto_reoffset, c.auto_offset);
    }
    if (rescale && !both) {
      EXPECT_TRUE(rescale->check_for_overflow);
    }
    EXPECT_DOUBLE_EQ(reader->header.x_scale_factor, c.x_scale);
    EXPECT_DOUBLE_EQ(reader->header.y_scale_factor, c.x_scale);
    EXPECT_DOUBLE_EQ(reader->header.z_scale_factor, c.z_scale);
    EXPECT_FALSE(options.has_more_input());
    EXPECT_EQ(options.open_next_reader(), nullptr);
  }
}

// "-faf" numbers the listed inputs from its start value, wrapping at 16 bits.
TEST(LASinputOptions, FlightlineNumbers) {
  LasDir dir;
  const std::string f[3] = {dir.las("f0.las", 77), dir.las("f1.las", 77), dir.las("f2.las", 77)};
  struct Case {
    std::vector<std::string> args;
    uint16_t ids[3];
  };
  const Case cases[] = {
      {{"-faf"}, {1, 2, 3}},
      {{"-faf", "5"}, {5, 6, 7}},
      {{"-faf", "65535"}, {65535, 0, 1}},
      {{"-faf", "10", "-faf_index", "3"}, {13, 14, 15}},
      {{"-apply_file_source_ID"}, {77, 77, 77}},
      {{}, {77, 77, 77}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    LASinputOptions options;
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-i", f[0], f[1], f[2]});
    ArgVector av(args);
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    for (int k = 0; k < 3; k++) {
      ASSERT_TRUE(options.has_more_input());
      std::unique_ptr<LASreader> reader(options.open_next_reader());
      ASSERT_NE(reader, nullptr);
      EXPECT_EQ(reader->header.file_source_ID, c.ids[k]);
      EXPECT_EQ(std::string(options.current_name()), f[k]);
      // The second pass sees the same header.
      ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
      EXPECT_EQ(reader->header.file_source_ID, c.ids[k]);
    }
    EXPECT_FALSE(options.has_more_input());
  }
}

// Standard input is read as LAS once, through a pipe in place of descriptor 0.
TEST(LASinputOptions, StandardInputHeader) {
  LasDir dir;
  const std::string a = dir.las("a.las", 4242);
  FILE* f = std::fopen(a.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fflush(stdin);
  const int saved = dup(0);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(dup2(fileno(f), 0), 0);
  std::fclose(f);
  std::clearerr(stdin);
  {
    LASinputOptions options;
    ArgVector av({"-stdin"});
    ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASreader> reader(options.open_next_reader());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->header.file_source_ID, 4242);
    EXPECT_EQ(reader->npoints, 3);
    EXPECT_TRUE(options.populate_header);
    EXPECT_FALSE(options.has_more_input());
    EXPECT_EQ(options.open_next_reader(), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(options.rebuild_reader(reader.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: no lasreader input specified\n");
  }
  dup2(saved, 0);
  close(saved);
  std::clearerr(stdin);
}
