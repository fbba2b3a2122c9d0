#include "song/Song.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unordered_set>

namespace scq {

namespace {
// Copies a text into a fixed buffer, cut to fit, always terminated.
void CopyText(char* dst, size_t size, const char* src) {
    const size_t n = std::min(std::strlen(src), size - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}
}  // namespace

// ---- Fonts -------------------------------------------------------------------------------

int32_t ScaleNearest(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return 0;
    const __int128 p = static_cast<__int128>(a) * b;
    __int128 q = p / c;
    const __int128 r = p % c;
    const __int128 absR = r < 0 ? -r : r;
    const __int128 absC = c < 0 ? -static_cast<__int128>(c) : static_cast<__int128>(c);
    if (2 * absR >= absC) q += ((p < 0) != (c < 0)) ? -1 : 1;
    if (q > INT32_MAX) return INT32_MAX;
    if (q < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(q);
}

void ResetFonts(FontTable& fonts, int32_t baseSize) {
    fonts.baseSize = baseSize;
    const int32_t half = baseSize / 2;
    struct Default {
        int32_t size;
        uint8_t style;
    };
    const Default defaults[FontTable::kEntryCount] = {
        {ScaleNearest(5, baseSize, 8), 3},   // Staff Italic
        {half, 1},                           // Staff Bold
        {ScaleNearest(9, baseSize, 20), 0},  // Staff Lyric
        {24, 1},                             // Page Title Text
        {12, 0},                             // Page Text
        {8, 0},                              // Page Small Text
        {half, 0},
        {half, 0},
        {half, 0},
        {half, 0},
        {half, 0},
        {half, 0},  // User 1..6
    };
    for (int i = 0; i < FontTable::kEntryCount; ++i) {
        FontEntry& e = fonts.entries[static_cast<size_t>(i)];
        e = FontEntry{};
        e.size = defaults[i].size;
        e.style = defaults[i].style;
    }
}

FontTable::FontTable() {
    ResetFonts(*this, 16);
}

// ---- Staff selection ---------------------------------------------------------------------

bool StaffSelection::test(int i) const {
    if (i < 0 || i >= kBits) return false;
    return (bytes[static_cast<size_t>(i / 8)] >> (i % 8)) & 1u;
}

void StaffSelection::set(int i, bool on) {
    if (i < 0 || i >= kBits) return;
    const auto mask = static_cast<uint8_t>(1u << (i % 8));
    uint8_t& b = bytes[static_cast<size_t>(i / 8)];
    b = on ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
}

// ---- Song-defaults template --------------------------------------------------------------

namespace {
SongDefaults MakeSongDefaults() {
    SongDefaults d;  // all bytes zero
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    int year = 1900;
    if (localtime_r(&now, &local)) year += local.tm_year;
    std::snprintf(d.copyright1, sizeof d.copyright1, "Copyright %04d Staveforge Software", year);
    CopyText(d.copyright2, sizeof d.copyright2, "All Rights Reserved");
    CopyText(d.author, sizeof d.author, "Staveforge Engraver");
    return d;
}

const SongDefaults& Defaults() {
    static const SongDefaults defaults = MakeSongDefaults();
    return defaults;
}
}  // namespace

void InitSongDefaults() {
    (void)Defaults();
}

const SongDefaults& GetSongDefaults() {
    return Defaults();
}

// ---- Song --------------------------------------------------------------------------------

Song::Song() : fonts(std::make_unique<FontTable>()) {
    staffs_.reserve(6);
    staffSelection.clear();
    staffSelection.set(0);
    const SongDefaults& d = GetSongDefaults();
    std::memcpy(title, d.title, sizeof title);
    std::memcpy(author, d.author, sizeof author);
    std::memcpy(copyright1, d.copyright1, sizeof copyright1);
    std::memcpy(copyright2, d.copyright2, sizeof copyright2);
    std::memcpy(comments, d.comments, sizeof comments);
}

Song::~Song() {
    // Staffs go from the last to the first, each with everything it owns.
    while (!staffs_.empty()) staffs_.pop_back();
    fonts.reset();
}

Staff* Song::staffAt(int index) const {
    if (index < 0 || index > lastStaffIndex()) return nullptr;
    return staffs_[static_cast<size_t>(index)].get();
}

void Song::addStaff(std::unique_ptr<Staff> staff) {
    if (!staff) return;
    staffs_.push_back(std::move(staff));
    staffSelection.set(lastStaffIndex());
}

void Song::appendLoadedStaff(std::unique_ptr<Staff> staff) {
    if (staff) staffs_.push_back(std::move(staff));
}

void Song::insertStaff(std::unique_ptr<Staff> staff, int index) {
    if (!staff) return;
    if (index > lastStaffIndex()) {
        addStaff(std::move(staff));
        return;
    }
    if (index < 0) index = 0;
    staffs_.insert(staffs_.begin() + index, std::move(staff));
    for (int i = StaffSelection::kBits - 1; i > index; --i) {
        staffSelection.set(i, staffSelection.test(i - 1));
    }
    staffSelection.set(index);
}

std::unique_ptr<Staff> Song::removeStaff(int index) {
    if (index < 0 || index > lastStaffIndex()) return nullptr;
    std::unique_ptr<Staff> staff = std::move(staffs_[static_cast<size_t>(index)]);
    staffs_.erase(staffs_.begin() + index);
    // The bits above the index move down; the bit at 254 keeps its value.
    for (int i = index; i < StaffSelection::kBits - 1; ++i) {
        staffSelection.set(i, staffSelection.test(i + 1));
    }
    return staff;
}

int Song::indexOfStaff(const Staff* staff) const {
    for (int i = 0; i < staffCount(); ++i) {
        if (staffs_[static_cast<size_t>(i)].get() == staff) return i;
    }
    return -1;
}

int Song::findStaffByName(const char* name) const {
    for (int i = 0; i < staffCount(); ++i) {
        if (std::strcmp(staffs_[static_cast<size_t>(i)]->staffName, name) == 0) return i;
    }
    return -1;
}

int Song::findLastStaffByName(const char* name) const {
    for (int i = lastStaffIndex(); i >= 0; --i) {
        if (std::strcmp(staffs_[static_cast<size_t>(i)]->staffName, name) == 0) return i;
    }
    return -1;
}

int Song::makeStaffNameUnique(Staff& staff) {
    char scratch[32] = {};
    CopyText(scratch, sizeof scratch, staff.staffName[0] ? staff.staffName : "Staff");
    int n = 1;
    size_t width = 1;
    for (;;) {
        const int i = findStaffByName(scratch);
        if (i < 0) return -1;
        if (staffAt(i) == &staff && findLastStaffByName(scratch) == i) return i;
        ++n;
        size_t len = std::strlen(scratch);
        if (n == 2) {
            len = std::min<size_t>(len, 22);
            std::snprintf(scratch + len, sizeof scratch - len, "-2");
        } else if (n == 10) {
            len = std::min<size_t>(len - std::min<size_t>(len, 2), 21);
            std::snprintf(scratch + len, sizeof scratch - len, "-10");
            width = 2;
        } else if (n == 100) {
            len = std::min<size_t>(len - std::min<size_t>(len, 3), 20);
            std::snprintf(scratch + len, sizeof scratch - len, "-100");
            width = 3;
        } else {
            len -= std::min(len, width);
            std::snprintf(scratch + len, sizeof scratch - len, "%d", n);
        }
        CopyText(staff.staffName, sizeof staff.staffName, scratch);
    }
}

int Song::newStaffName(char* buffer, size_t size) const {
    if (!buffer || size == 0) return -1;
    for (int n = 1;; ++n) {
        std::snprintf(buffer, size, "Staff-%d", n);
        const int found = findStaffByName(buffer);
        if (found < 0) return found;
    }
}

int Song::selectGroup(const char* group, StaffSelection& set) const {
    set.clear();
    for (int i = 0; i < staffCount(); ++i) {
        if (std::strcmp(staffs_[static_cast<size_t>(i)]->groupName, group) == 0) set.set(i);
    }
    return staffCount();
}

int Song::countStaffsOnChannel(int device, int channel) const {
    int count = 0;
    for (const auto& staff : staffs_) {
        if (staff->device == device && staff->channel == channel) ++count;
    }
    return count;
}

int Song::lastStaffDevice() const {
    return staffs_.empty() ? 0 : staffs_.back()->device;
}

int Song::nextFreeChannel(int device) const {
    int ch = staffs_.empty() ? 0 : staffs_.back()->channel;
    for (int tries = 0; tries < 16; ++tries) {
        // The candidates stay in 0..15 whatever the last staff's channel holds.
        ch = static_cast<int>(((static_cast<int64_t>(ch) + 1) % 16 + 16) % 16);
        if (countStaffsOnChannel(device, ch) == 0) return ch;
    }
    return ch;
}

void Song::mutedToSet(StaffSelection& set) const {
    set.clear();
    for (int i = 0; i < staffCount() && i < StaffSelection::kBits; ++i) {
        if (staffs_[static_cast<size_t>(i)]->muted != 0) set.set(i);
    }
}

void Song::setToMuted(const StaffSelection& set) {
    for (int i = 0; i < staffCount() && i < StaffSelection::kBits; ++i) {
        staffs_[static_cast<size_t>(i)]->muted = set.test(i) ? 1 : 0;
    }
}

void Song::collectGroupNames(std::vector<std::string>& names) const {
    names.clear();
    std::unordered_set<std::string> seen;
    for (const auto& staff : staffs_) {
        if (seen.insert(staff->groupName).second) names.emplace_back(staff->groupName);
    }
}

void Song::setFlag(SongFlagBit bit, int value) {
    const auto mask = static_cast<uint8_t>(1u << bit);
    songFlags = (value & 1) ? static_cast<uint8_t>(songFlags | mask)
                            : static_cast<uint8_t>(songFlags & ~mask);
}

bool Song::anyStaffModified() const {
    for (int i = lastStaffIndex(); i >= 0; --i) {
        if (staffs_[static_cast<size_t>(i)]->isModified()) return true;
    }
    return false;
}

void Song::setModified(int flag) {
    setFlag(kFlagModified, (flag & 1) || anyStaffModified());
}

}  // namespace scq
