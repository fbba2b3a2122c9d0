#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/Staff.h"

namespace scq {

// One font of the song's font table.
struct FontEntry {
    char name[32] = "Times New Roman";
    int32_t size = 0;
    uint8_t style = 0;  // bit 0 bold, bit 1 italic
    uint8_t charset = 0;
};

// The song's fonts, in the fixed slot order "Staff Italic" ... "User 6".
struct FontTable {
    static constexpr int kEntryCount = 12;
    FontTable();  // the defaults for base size 16
    int32_t baseSize = 16;
    std::array<FontEntry, kEntryCount> entries;
};

// Sets the base size and all twelve entries to their defaults for that size.
void ResetFonts(FontTable& fonts, int32_t baseSize);
// a * b / c in 64 bits, to the nearest integer, halves away from zero.
int32_t ScaleNearest(int64_t a, int64_t b, int64_t c);

// A set of 255 bits, one per staff index, stored in 32 bytes.
struct StaffSelection {
    static constexpr int kBits = 255;
    std::array<uint8_t, 32> bytes{};
    bool test(int i) const;
    void set(int i, bool on = true);  // ignored outside 0..254
    void clear() { bytes.fill(0); }
};

// Bits of `songFlags`.
enum SongFlagBit : unsigned {
    kFlagEditorState = 0,
    kFlagOlderRevision = 1,
    kFlagCompressed = 2,
    kFlagModified = 3,
    kFlagSongOption4 = 4,
    kFlagSongOption5 = 5,
    kFlagSongOption6 = 6,
    kFlagLayeringEnabled = 7,
};

// The song-defaults template: filled once at start-up with the current year.
struct SongDefaults {
    char title[64] = {};
    char author[48] = {};
    char copyright1[92] = {};
    char copyright2[92] = {};
    char comments[1024] = {};
};
// Fills the template (idempotent; the first call wins). Song construction calls it too.
void InitSongDefaults();
const SongDefaults& GetSongDefaults();

// The in-memory document.
class Song {
public:
    // A new song: defaults from the template, no staff.
    Song();
    ~Song();
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    // Staff list.
    int staffCount() const { return static_cast<int>(staffs_.size()); }
    int lastStaffIndex() const { return staffCount() - 1; }
    Staff* staffAt(int index) const;
    void addStaff(std::unique_ptr<Staff> staff);
    // Appends without touching the selection (the loader; the file has set it).
    void appendLoadedStaff(std::unique_ptr<Staff> staff);
    void insertStaff(std::unique_ptr<Staff> staff, int index);
    std::unique_ptr<Staff> removeStaff(int index);
    int indexOfStaff(const Staff* staff) const;
    int findStaffByName(const char* name) const;
    int findLastStaffByName(const char* name) const;
    int makeStaffNameUnique(Staff& staff);
    int newStaffName(char* buffer, size_t size) const;
    int selectGroup(const char* group, StaffSelection& set) const;
    int countStaffsOnChannel(int device, int channel) const;
    int lastStaffDevice() const;
    int nextFreeChannel(int device) const;
    void mutedToSet(StaffSelection& set) const;
    void setToMuted(const StaffSelection& set);
    void collectGroupNames(std::vector<std::string>& names) const;

    // Flags.
    bool flag(SongFlagBit bit) const { return (songFlags >> bit) & 1u; }
    void setFlag(SongFlagBit bit, int value);
    bool olderRevision() const { return flag(kFlagOlderRevision); }
    void setOlderRevision(int v) { setFlag(kFlagOlderRevision, v); }
    bool compressed() const { return flag(kFlagCompressed); }
    void setCompressed(int v) { setFlag(kFlagCompressed, v); }
    bool modified() const { return flag(kFlagModified); }
    // Stores the flag OR-ed with whether any staff reports itself modified.
    void setModified(int flag);
    // Whether some staff reports itself modified, asked from the last staff to the first.
    bool anyStaffModified() const;
    bool layeringEnabled() const { return flag(kFlagLayeringEnabled); }

    // Song information.
    char title[64] = {};
    char author[48] = {};
    char copyright1[92] = {};
    char copyright2[92] = {};
    char comments[1024] = {};
    int32_t barNumberStyle = 0;
    int32_t firstBarNumber = 1;
    std::array<float, 4> pageMargins{0.5f, 0.5f, 0.5f, 0.5f};
    int32_t pageOptionByte1 = 0;
    int32_t pageOptionWord1 = 8;
    int32_t pageOptionWord2 = 0;
    int32_t pageOptionByte2 = 0;
    StaffSelection staffSelection;
    uint8_t songFlags = 0xD4;
    std::unique_ptr<FontTable> fonts;

private:
    std::vector<std::unique_ptr<Staff>> staffs_;
};

}  // namespace scq
