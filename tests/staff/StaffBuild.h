#pragma once

// Builds staffs in code for the staff tests: a new staff (opening and closing bar lines) and
// items added in front of the closing bar line, without any audit.

#include <memory>
#include <utility>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "song/Staff.h"

namespace scq::test {

inline constexpr int kWhole = 0;
inline constexpr int kHalf = 1;
inline constexpr int kQuarter = 2;
inline constexpr int kEighth = 3;

inline int bit(int n) {
    return 1 << n;
}

class StaffBuild {
public:
    StaffBuild() : staff_(std::make_unique<Staff>()) {}

    // Adds the item before the closing bar line and returns it with its index.
    template <typename T>
    T& add(std::unique_ptr<T> item, int* index = nullptr) {
        T& ref = *item;
        const int at = staff_->lastItemIndex();
        staff_->insertItemAt(std::move(item), at);
        if (index != nullptr) *index = at;
        return ref;
    }

    NoteItem& note(int position, int duration = kQuarter, int attributes = 0,
                   int* index = nullptr) {
        return add(std::make_unique<NoteItem>(position, duration, attributes, 5), index);
    }
    // A note with beam and triplet positions.
    NoteItem& grouped(int duration, int beam, int triplet, int attributes = 0, int position = 0) {
        NoteItem& n = note(position, duration, attributes);
        n.beamPosition = static_cast<unsigned>(beam);
        n.tripletPosition = static_cast<unsigned>(triplet);
        return n;
    }
    RestItem& rest(int duration = kQuarter, int attributes = 0, int* index = nullptr) {
        return add(std::make_unique<RestItem>(duration, attributes), index);
    }
    BarLineItem& bar(int* index = nullptr) {
        return add(std::make_unique<BarLineItem>(0, 1), index);
    }
    TimeSignatureItem& time(int beats, int code) {
        return add(std::make_unique<TimeSignatureItem>(beats, code, 0));
    }
    KeySignatureItem& key(uint16_t sharps, uint16_t flats) {
        return add(std::make_unique<KeySignatureItem>(sharps, flats));
    }
    ClefItem& clef(int type) { return add(std::make_unique<ClefItem>(type)); }
    DynamicItem& dynamic(int level, int* index = nullptr) {
        return add(std::make_unique<DynamicItem>(level), index);
    }
    DynamicVariationItem& dynamicVariation(int kind) {
        return add(std::make_unique<DynamicVariationItem>(kind));
    }
    TempoItem& tempo(int value) { return add(std::make_unique<TempoItem>(value, 2)); }
    TempoVariationItem& tempoVariation(int kind, int pause = 0) {
        return add(std::make_unique<TempoVariationItem>(kind, pause));
    }
    ChordItem& chord(std::vector<int> positions, int duration = kQuarter, int attributes = 0) {
        std::vector<std::unique_ptr<NoteItem>> members;
        for (int p : positions)
            members.push_back(std::make_unique<NoteItem>(p, duration, attributes, 5));
        auto c = std::make_unique<ChordItem>(std::move(members));
        c->refreshMembers();
        return add(std::move(c));
    }

    Staff& staff() { return *staff_; }
    std::unique_ptr<Staff> take() { return std::move(staff_); }
    int last() const { return staff_->lastItemIndex(); }

private:
    std::unique_ptr<Staff> staff_;
};

}  // namespace scq::test
