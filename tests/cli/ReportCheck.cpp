#include "ReportCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using Json = nlohmann::json;

std::vector<Json> ValidReport(const std::string& path) {
  const std::string command = "python3 " KORVANE_SOURCE_DIR "/tests/support/validate-report.py " +
                              std::string(KORVANE_SOURCE_DIR "/docs/report.schema.json ") + path;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(path);
  std::vector<Json> objects;
  for (std::string line; std::getline(in, line);) objects.push_back(Json::parse(line));
  return objects;
}

std::vector<Json> OfType(const std::vector<Json>& objects, const std::string& type) {
  std::vector<Json> found;
  for (const Json& object : objects)
    if (object["type"] == type) found.push_back(object);
  return found;
}
