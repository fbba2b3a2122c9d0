#pragma once

// The --max-items option that scqdump and scqconvert share.

#include <charconv>
#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

#include "song/SongFile.h"

namespace scq::tools {

// Adds --max-items N (default kDefaultMaxItems) to the parser: a whole number from 0 to the
// largest 64-bit value, nothing else.
inline CLI::Option* AddMaxItemsOption(CLI::App& app, uint64_t& value, const std::string& help) {
    return app.add_option("--max-items", value, help)
        ->type_name("N")
        ->default_val(kDefaultMaxItems)
        ->check(
            [](const std::string& text) -> std::string {
                uint64_t n = 0;
                const char* end = text.data() + text.size();
                const auto [at, error] = std::from_chars(text.data(), end, n);
                const bool whole = !text.empty() && error == std::errc() && at == end;
                return whole ? "" : "N is a whole number from 0 to 18446744073709551615";
            },
            "");
}

}  // namespace scq::tools
