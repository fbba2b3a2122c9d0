#pragma once

#include <cstdint>

namespace scq {

// An instrument sound: what a staff starts with and what an instrument item changes to.
struct InstrumentPatch {
    int32_t bankSelect = 0;  // non-zero: a bank selection is sent before the program
    int32_t bank = 0;        // sent as controller 0 = bank / 128 and controller 32 = bank % 128
    int32_t patch = 0;       // 0: no instrument change; otherwise the program number plus 1
    bool operator==(const InstrumentPatch&) const = default;
};

}  // namespace scq
