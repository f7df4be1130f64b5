#include "io/formats/las_reader_ply.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "temp_dir.hpp"

namespace {

// One vertex of the fixtures: position, normal, colour, and two properties
// that are no point field.
struct Vertex {
  float x, y, z;
  float nx, ny, nz;
  uint8_t red, green, blue;
  uint32_t label;  // above 2^31 to catch a signed read
  int32_t count;
};

const std::vector<Vertex> kVertices = {
    {1000.5f, 2000.25f, 10.0f, 0.5f, -0.5f, 0.70710677f, 255, 128, 0, 4000000000u, -7},
    {1001.0f, 2001.5f, 11.5f, 0.0f, 1.0f, 0.0f, 1, 2, 3, 7u, 123456},
    {999.75f, 2002.0f, 9.25f, -1.0f, 0.0f, 0.0f, 0, 0, 255, 0u, 0},
};

std::string ply_header(const char* format, size_t count, bool with_face = false) {
  std::string h = "ply\nformat ";
  h += format;
  h += " 1.0\ncomment made by a test\nelement vertex " + std::to_string(count) + "\n";
  h += "property float x\nproperty float y\nproperty float z\n";
  h += "property float nx\nproperty float ny\nproperty float nz\n";
  h += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  h += "property uint label\nproperty int count\n";
  if (with_face) h += "element face 1\nproperty list uchar int vertex_indices\n";
  h += "end_header\n";
  return h;
}

template <typename T>
void put(std::string* out, T value, bool big_endian) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if (big_endian) {
    for (size_t i = 0; i < sizeof(T) / 2; i++) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  out->append(bytes, sizeof(T));
}

std::string ply_file(const char* format, const std::vector<Vertex>& vertices, size_t stated,
                     bool with_face = false) {
  std::string out = ply_header(format, stated, with_face);
  const bool ascii = std::strcmp(format, "ascii") == 0;
  const bool big = std::strcmp(format, "binary_big_endian") == 0;
  for (const Vertex& v : vertices) {
    if (ascii) {
      char line[256];
      std::snprintf(line, sizeof(line), "%.9g %.9g %.9g %.9g %.9g %.9g %d %d %d %u %d\n", v.x, v.y,
                    v.z, v.nx, v.ny, v.nz, v.red, v.green, v.blue, v.label, v.count);
      out += line;
    } else {
      for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz}) put(&out, f, big);
      for (uint8_t c : {v.red, v.green, v.blue}) out += static_cast<char>(c);
      put(&out, v.label, big);
      put(&out, v.count, big);
    }
  }
  if (with_face) out += ascii ? "3 0 1 2\n" : std::string("\x03\0\0\0\0", 5);
  return out;
}

struct Opened {
  std::unique_ptr<LASreaderPLY> reader;
  bool ok = false;
  std::string err;
};

Opened open_ply(const std::string& name, bool populate, LASreaderPLY* reader = nullptr) {
  Opened o;
  o.reader.reset(reader ? reader : new LASreaderPLY());
  testing::internal::CaptureStderr();
  o.ok = o.reader->open_file(name.c_str(), 0, populate);
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

double attribute(const LASreader& r, int index) {
  double v = 0.0;
  EXPECT_TRUE(r.header.get_value(r.point, index, &v));
  return v;
}

TEST(LASreaderPLY, EveryBodyGivesTheSameVertices) {
  TempDir dir;
  for (const char* format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
    for (bool populate : {false, true}) {
      for (bool face : {false, true}) {
        const std::string name =
            dir.file("v.ply", ply_file(format, kVertices, kVertices.size(), face));
        Opened o = open_ply(name, populate);
        ASSERT_TRUE(o.ok) << format << o.err;
        const LASheader& h = o.reader->header;
        EXPECT_EQ(o.reader->is_binary(), std::strcmp(format, "ascii") != 0);
        EXPECT_EQ(h.point_data_format, 2) << format;
        // 26 for format 2, three I16 normals, U32 label, I32 count
        EXPECT_EQ(h.point_data_record_length, 26 + 6 + 4 + 4) << format;
        EXPECT_EQ(h.number_of_point_records, 3u);
        EXPECT_STREQ(o.reader->get_parse_string(), "xyz012RGB34");
        ASSERT_EQ(h.number_attributes, 5);
        EXPECT_STREQ(h.attributes[0].name, "nx");
        EXPECT_STREQ(h.attributes[0].description, "normal x coordinate");
        EXPECT_EQ(h.attributes[0].data_type, 4);
        EXPECT_EQ(h.attributes[0].scale[0], 0.00005);
        EXPECT_EQ(h.attributes[3].data_type, 5) << "uint is unsigned";
        EXPECT_EQ(h.attributes[4].data_type, 6);
        EXPECT_EQ(h.x_scale_factor, 0.001);
        if (face) {
          EXPECT_NE(o.err.find("not supported: element face 1\nskipping remaining header ...\n"),
                    std::string::npos);
        }
        EXPECT_NE(o.err.find("parsed: comment made by a test\n"), std::string::npos);
        size_t k = 0;
        testing::internal::CaptureStderr();
        while (o.reader->read_point()) {
          ASSERT_LT(k, kVertices.size());
          const Vertex& v = kVertices[k++];
          const LASpoint& p = o.reader->point;
          EXPECT_DOUBLE_EQ(p.get_x(), v.x) << format;
          EXPECT_DOUBLE_EQ(p.get_y(), v.y) << format;
          EXPECT_DOUBLE_EQ(p.get_z(), v.z) << format;
          EXPECT_EQ(p.get_R(), v.red);
          EXPECT_EQ(p.get_G(), v.green);
          EXPECT_EQ(p.get_B(), v.blue);
          EXPECT_NEAR(attribute(*o.reader, 0), v.nx, 0.000025);
          EXPECT_NEAR(attribute(*o.reader, 2), v.nz, 0.000025);
          EXPECT_EQ(attribute(*o.reader, 3), static_cast<double>(v.label)) << format;
          EXPECT_EQ(attribute(*o.reader, 4), v.count);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(k, kVertices.size()) << format;
        EXPECT_EQ(h.min_x, 999.75);
        EXPECT_EQ(h.max_y, 2002.0);
      }
    }
  }
}

TEST(LASreaderPLY, ShortBodiesEndAsAtTheEndOfTheFile) {
  TempDir dir;
  const bool gzip = std::system("command -v gzip >/dev/null 2>&1") == 0;
  for (const char* format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
    const bool ascii = std::strcmp(format, "ascii") == 0;
    std::string bytes = ply_file(format, kVertices, 5);
    if (!ascii) bytes.resize(bytes.size() - 3);  // cut the last vertex
    const int expected = ascii ? 3 : 2;
    const std::string name = dir.file("short.ply", bytes);
    // A file too short for the stated count is cut to what it can hold when
    // opened; a pipe cannot tell, and its reading ends at the short vertex.
    std::vector<std::string> names = {name};
    if (gzip) {
      EXPECT_EQ(std::system(("gzip -k -f '" + name + "'").c_str()), 0);
      names.push_back(name + ".gz");
    }
    for (const std::string& n : names) {
      Opened o = open_ply(n, false);
      ASSERT_TRUE(o.ok) << format << o.err;
      testing::internal::CaptureStderr();
      int read = 0;
      while (o.reader->read_point()) read++;
      const std::string err = o.err + testing::internal::GetCapturedStderr();
      EXPECT_EQ(read, expected) << format << n;
      EXPECT_EQ(o.reader->npoints, expected);
      const bool bounded = !ascii && n == name;
      const std::string warning =
          bounded ? "WARNING: PLY header states 5 vertices but the file holds at most 2\n"
                  : "WARNING: end-of-file after " + std::to_string(expected) + " of 5 points\n";
      EXPECT_NE(err.find(warning), std::string::npos) << n << err;
      // With the populate pass the header counts what is there.
      Opened p = open_ply(n, true);
      ASSERT_TRUE(p.ok) << p.err;
      EXPECT_EQ(p.reader->header.number_of_point_records, static_cast<uint32_t>(expected));
    }
  }
}

TEST(LASreaderPLY, HeaderVariants) {
  TempDir dir;
  // float intensity is the intensity; double intensity an F64 attribute.
  Opened f = open_ply(dir.file("i.ply",
                               "ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n"
                               "property double y\nproperty double z\nproperty float intensity\n"
                               "property double intensity\nproperty uchar gray\nend_header\n"
                               "1 2 3 700.4 5.5 9\n"),
                      false);
  ASSERT_TRUE(f.ok) << f.err;
  EXPECT_STREQ(f.reader->get_parse_string(), "xyzi0i");
  EXPECT_EQ(f.reader->header.point_data_format, 0);
  EXPECT_EQ(f.reader->header.attributes[0].data_type, 10);
  EXPECT_STREQ(f.reader->header.attributes[0].name, "intensity");
  ASSERT_TRUE(f.reader->read_point());
  EXPECT_EQ(f.reader->point.get_intensity(), 9);  // the gray value comes last
  EXPECT_EQ(attribute(*f.reader, 0), 5.5);

  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"plx\n", ""},
      {"ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nend_header\n", ""},
      {"ply\nformat binary_middle_endian 1.0\n", "format: binary_middle_endian 1.0\nnot implemented."},
      {"ply\nformat ascii 1.0\nelement vertex many\n", "element vertex: many\ncannot parse number"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty list uchar int x\n",
       "unknown property type: list uchar int x"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n",
       "ERROR: the PLY header ends before 'end_header'\n"},
      {"ply\nformat binary_little_endian 1.0\nelement vertex 5\nend_header\n",
       "ERROR: the PLY vertices have no properties\n"},
  };
  for (const auto& c : cases) {
    Opened o = open_ply(dir.file("bad.ply", c.text), false);
    EXPECT_FALSE(o.ok) << c.text;
    if (*c.message) {
      EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    } else {
      EXPECT_EQ(o.err.find("ERROR"), std::string::npos) << o.err;
    }
  }
}

TEST(LASreaderPLY, SeekBackFindsTheBodyAgain) {
  TempDir dir;
  for (const char* format : {"ascii", "binary_little_endian"}) {
    Opened o = open_ply(dir.file("s.ply", ply_file(format, kVertices, 3)), true);
    ASSERT_TRUE(o.ok);
    ASSERT_TRUE(o.reader->read_point());
    ASSERT_TRUE(o.reader->read_point());
    ASSERT_TRUE(o.reader->seek_point(1));
    ASSERT_TRUE(o.reader->read_point());
    EXPECT_DOUBLE_EQ(o.reader->point.get_x(), kVertices[1].x) << format;
  }
}

TEST(LASreaderPLY, VariantsAndRequestedQuantization) {
  TempDir dir;
  const std::string name = dir.file("q.ply", ply_file("ascii", kVertices, 3));
  LASreaderPLY* plain = new LASreaderPLY();
  const double scale[3] = {0.01, 0.01, 0.0};
  plain->set_scale_factor(scale);
  Opened o = open_ply(name, true, plain);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.reader->header.x_scale_factor, 0.01);
  EXPECT_EQ(o.reader->header.z_scale_factor, 0.001);
  Opened v = open_ply(name, false, new LASreaderPLYreoffset(1000, 2000, 0));
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.reader->header.x_offset, 1000.0);
  ASSERT_TRUE(v.reader->read_point());
  EXPECT_EQ(v.reader->point.X, 500);
}

}  // namespace
