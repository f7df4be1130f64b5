// Every option word that a usage text shows is defined by exactly one table
// row in the sources, so that a search for the word finds its one definition.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filter/las_filter.hpp"
#include "filter/las_ignore.hpp"
#include "filter/las_transform.hpp"
#include "ground_command_line.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"

namespace {

namespace fs = std::filesystem;

// The usage texts of the input, output, filter, transform and ignore options
// and of the ground tool, as the programs print them.
std::string usage_texts() {
  testing::internal::CaptureStderr();
  LASfilter().print_help();
  LAStransform().print_help();
  LASignore().print_help();
  LASinputOptions().print_help();
  LASoutputOptions().print_help();
  print_ground_usage();
  print_ground_options();
  return testing::internal::GetCapturedStderr();
}

// The words of a text that begin with '-' and a letter.
std::set<std::string> option_words(const std::string& text) {
  std::set<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word.size() > 1 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1]))) {
      words.insert(word);
    }
  }
  return words;
}

// Every parser answers "-h", so no row defines it; "-version" is read before the table, and the
// ground tool takes any word that begins with "-ilay" or "-olay" (ground_take_arguments).
const std::set<std::string> kNoRow = {"-h", "-version", "-ilay", "-ilaydir", "-olay", "-olaydir"};

struct Source {
  std::string name;
  std::vector<std::string> lines;
};

std::vector<Source> read_sources() {
  std::vector<Source> sources;
  for (const char* folder : {"pointlib", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(PL_SOURCE_DIR) / folder)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".hpp")) continue;
      Source source{entry.path().lexically_relative(PL_SOURCE_DIR).string(), {}};
      std::ifstream in(entry.path());
      for (std::string line; std::getline(in, line);) source.lines.push_back(line);
      sources.push_back(std::move(source));
    }
  }
  return sources;
}

// The places where a row of a table begins with the word: `{"-word",`. Other
// mentions (an alias row naming its twin, a message) are no definitions.
std::vector<std::string> defining_rows(const std::string& word,
                                       const std::vector<Source>& sources) {
  const std::string row = "{\"" + word + "\",";
  std::vector<std::string> places;
  for (const Source& source : sources) {
    for (size_t k = 0; k < source.lines.size(); k++) {
      const std::string& line = source.lines[k];
      const size_t first = line.find_first_not_of(' ');
      if (first != std::string::npos && line.compare(first, row.size(), row) == 0) {
        places.push_back(source.name + ":" + std::to_string(k + 1));
      }
    }
  }
  return places;
}

TEST(OptionRows, EveryUsageWordHasOneDefiningRow) {
  const std::set<std::string> words = option_words(usage_texts());
  ASSERT_GT(words.size(), 250u);
  const std::vector<Source> sources = read_sources();
  ASSERT_FALSE(sources.empty());
  for (const std::string& word : words) {
    if (kNoRow.count(word)) continue;
    const std::vector<std::string> places = defining_rows(word, sources);
    std::string where;
    for (const std::string& p : places) where += "\n  " + p;
    EXPECT_EQ(places.size(), 1u) << word << " is defined by " << places.size() << " rows" << where;
  }
}

}  // namespace
