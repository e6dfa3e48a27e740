#pragma once
// Reading back a report of korvane-cli in tests, after the shipped schema's
// validator has passed it.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The report's objects; a failure of the test when a line breaks the schema.
std::vector<nlohmann::json> ValidReport(const std::string& path);

std::vector<nlohmann::json> OfType(const std::vector<nlohmann::json>& objects,
                                   const std::string& type);
