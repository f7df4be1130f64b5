#ifndef TESTS_SUPPORT_EPSG_TABLE_CODES_HPP
#define TESTS_SUPPORT_EPSG_TABLE_CODES_HPP

// The projected codes a projector may accept: every row of the generated pcs.csv in a folder,
// then the codes known without a table.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

struct EpsgTableCode {
  int code;
  int unit;    // the linear unit of the row; 0 for built-in codes
  int method;  // the projection method of the row; 0 for built-in codes
};

// `folder` holds pcs.csv; an unreadable row ends the list short (the caller counts).
inline std::vector<EpsgTableCode> epsg_candidate_codes(const std::string& folder) {
  std::vector<EpsgTableCode> codes;
  std::ifstream table(folder + "/pcs.csv");
  std::string line;
  while (std::getline(table, line)) {
    EpsgTableCode c = {0, 0, 0};
    int gcs = 0, conversion = 0;
    const size_t close = line.find('"', line.find('"') + 1);
    if (std::sscanf(line.c_str(), "%d,", &c.code) != 1 || close == std::string::npos ||
        std::sscanf(line.c_str() + close + 1, ",%d,%d,%d,%d", &c.unit, &gcs, &conversion,
                    &c.method) != 4) {
      break;
    }
    codes.push_back(c);
  }
  const int ranges[][2] = {{32601, 32660}, {32701, 32760}, {25828, 25838}, {26903, 26923},
                           {3154, 3160},   {7846, 7859},   {28348, 28358}, {29118, 29122},
                           {29177, 29185}, {32201, 32260}, {32301, 32360}, {32401, 32460},
                           {32501, 32560}, {26703, 26723}};
  for (const auto& range : ranges) {
    for (int code = range[0]; code <= range[1]; code++) codes.push_back({code, 0, 0});
  }
  for (int code : {4326, 4978, 21781, 23700}) codes.push_back({code, 0, 0});
  return codes;
}

#endif  // TESTS_SUPPORT_EPSG_TABLE_CODES_HPP
