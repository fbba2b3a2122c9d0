#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace scq {

class FlowTable;

// A set of staff positions for the ties that are open: position p occupies bit |p + 100| mod 224.
class TieSet {
public:
    static int bitOf(int position) {
        int v = position + 100;
        if (v < 0) v = -v;
        return v % 224;
    }
    bool contains(int position) const {
        const int b = bitOf(position);
        return (words_[static_cast<size_t>(b / 32)] >> (b % 32)) & 1u;
    }
    void add(int position) {
        const int b = bitOf(position);
        words_[static_cast<size_t>(b / 32)] |= 1u << (b % 32);
    }
    void remove(int position) {
        const int b = bitOf(position);
        words_[static_cast<size_t>(b / 32)] &= ~(1u << (b % 32));
    }
    void clear() { words_.fill(0); }
    bool operator==(const TieSet&) const = default;

private:
    std::array<uint32_t, 7> words_{};
};

// The running state of a walk through one staff's items, kept by the performance and by the
// staff audit. Each field has the width it is stored with; values that do not fit wrap.
struct PlayState {
    TieSet tieSetA;  // ties out with tie direction 0
    TieSet tieSetB;  // ties out with tie direction 1
    int32_t time = 0;
    unsigned channel : 4 = 0;
    unsigned device : 4 = 0;
    unsigned clef : 2 = 0;
    int transposition : 6 = 0;
    unsigned velocity : 8 = 110;
    unsigned beatsPerBar : 5 = 4;
    unsigned beatValueCode : 3 = 2;
    int performanceStyle : 6 = 0;
    unsigned replaying : 1 = 0;
    unsigned jumpTaken : 1 = 0;
    unsigned walkMode : 4 = 0;
    unsigned slurState : 2 = 0;
    unsigned octaveShift : 2 = 0;
    unsigned rampRemaining : 16 = 0;
    unsigned rampTarget : 7 = 0;
    int localPass : 16 = 1;
    int masterPass : 8 = 1;
    unsigned passLimit : 8 = 2;
    unsigned graceCount : 4 = 0;
    uint16_t keyFlats = 0;
    uint16_t keySharps = 0;
    uint16_t barFlats = 0;
    uint16_t barSharps = 0;
    uint16_t barDoubleFlats = 0;
    uint16_t barDoubleSharps = 0;
    // Not part of the walk's state: the repeat and jump targets of the staff being walked,
    // worked out once by the performance (none for other walks, whose flow rules then work
    // the targets out at each visit).
    const FlowTable* flowTable = nullptr;

    // Back to the values after reset; `channel` and `device` are kept.
    void reset() {
        const unsigned keepChannel = channel;
        const unsigned keepDevice = device;
        *this = PlayState{};
        channel = keepChannel;
        device = keepDevice;
    }
};

}  // namespace scq
