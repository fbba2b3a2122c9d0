#pragma once

// Helpers of the performance tests: songs made with the test song builder and read by the
// song loader, rendered into event sequences.

#include <cstdint>
#include <memory>
#include <vector>

#include "perform/EventSequence.h"
#include "perform/PerformanceBuilder.h"
#include "song/Song.h"
#include "support/SongBuilder.h"

namespace scq::perf {

// Loads the song file that `description` describes; none unless it loads cleanly.
std::unique_ptr<Song> LoadSong(const test::SongSpec& description);
// A song of these staffs.
std::unique_ptr<Song> LoadStaffs(std::vector<test::StaffSpec> staffs);
// A song of one staff with these items.
std::unique_ptr<Song> LoadItems(std::vector<test::Item> items);

struct Rendered {
    std::vector<SequenceEvent> events;
    uint32_t milliseconds = 0;
    bool full = false;
    uint32_t itemsPlayed = 0;
};

// Renders a song as the play time does, with this kind filter (default: the SCQ filter).
Rendered Render(Song& song, unsigned filter = 0x000C, PerformanceBuilder* builder = nullptr);

// A sounding note found in the events: note on, matching note off.
struct PlayedNote {
    int pitch = 0;
    int velocity = 0;
    int32_t on = 0;
    int32_t off = -1;  // -1: never ended
    int channel = 0;
};
// The notes in the order of their note ons (events sorted by time), each matched with the
// first later note off of the same pitch and channel.
std::vector<PlayedNote> Notes(const std::vector<SequenceEvent>& events);
// Pitches of the notes in order.
std::vector<int> Pitches(const std::vector<SequenceEvent>& events);

// Channel messages of one type (and, for control changes, one controller; -1 any).
std::vector<SequenceEvent> Messages(const std::vector<SequenceEvent>& events, int type,
                                    int controller = -1);

}  // namespace scq::perf
