#pragma once

// scqdump's JSON Lines output read back, for the tests of the tool.

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace scq::test {

// The documents of a JSON Lines text, one per line, members kept in document order.
inline std::vector<nlohmann::ordered_json> ParseLines(const std::string& text) {
    std::vector<nlohmann::ordered_json> docs;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) docs.push_back(nlohmann::ordered_json::parse(line));
    return docs;
}

}  // namespace scq::test
