// Case tables kept as data: tab-separated rows, read once by the tests that check them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace brenvale {

inline std::string read_file(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The rows of the table at `path` (relative to the source tree), less its `#` comment lines and
// its header row, each split at tabs into as many cells as the header has (an empty last cell
// has no tab after it).
inline std::vector<std::vector<std::string>> read_table(const std::string& path) {
  std::istringstream text(read_file(std::string(BRENVALE_SOURCE_DIR) + "/" + path));
  std::vector<std::vector<std::string>> rows;
  std::size_t columns = 0;
  for (std::string line; std::getline(text, line);) {
    if (line.empty() || line.starts_with('#')) continue;
    std::vector<std::string> row;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) row.push_back(cell);
    if (columns == 0) {
      columns = row.size();
      continue;
    }
    row.resize(columns);
    rows.push_back(std::move(row));
  }
  EXPECT_FALSE(rows.empty()) << "no rows in " << path;
  return rows;
}

// `text` with its control characters written as \u escapes, as the tables write them.
inline std::string shown(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x20) {
      out += c;
      continue;
    }
    char escape[7];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    out += escape;
  }
  return out;
}

}  // namespace brenvale
