#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "perform/FlowTable.h"
#include "perform/PlayState.h"

namespace scq {

class EventSequence;
class Song;
class Staff;

// Bounds that end every render, however hostile the song (no real song comes near them).
// A render stops before a slice whose bound would pass kMaxRenderTicks, and plays at most
// kMaxItemsPlayed items over all staffs together.
constexpr int64_t kMaxRenderTicks = int64_t{1} << 30;
constexpr uint32_t kMaxItemsPlayed = uint32_t{1} << 24;

// Walks one staff: plays its items one after the other, each adding its events to the
// sequence and updating the running state.
class StaffPlayer {
public:
    StaffPlayer();
    StaffPlayer(const StaffPlayer&) = delete;
    StaffPlayer& operator=(const StaffPlayer&) = delete;

    // Binds the player to a staff (or none): index 0, saved position 0, state reset with the
    // staff's channel and device.
    void bind(Staff* staff);
    // Staff start: resets the state from the staff and adds the staff's instrument, volume
    // and pan at tick 0. The repeat and jump targets of the staff are worked out here, once.
    void begin(EventSequence& sequence);
    // Plays items while the staff's time is below `until`; true while the staff has items
    // left. Each item played takes one from `budget`; with the budget spent no item is played
    // and the answer is false.
    bool step(EventSequence& sequence, int32_t until, uint32_t& budget);

    Staff* staff() const { return staff_; }
    PlayState& state() { return state_; }
    const PlayState& state() const { return state_; }
    // Index of the next item to play; -1 once the staff is finished.
    int index() const { return index_; }

    // A remembered play position, kept for playing from a point; not used by the play time.
    int savedIndex = 0;
    int savedLevel = 0;

private:
    Staff* staff_ = nullptr;
    PlayState state_;
    int index_ = 0;
    FlowTable flow_;
};

// Turns a song into a time-ordered event sequence: one player per staff, all staffs walked
// side by side in slices of 384 ticks.
class PerformanceBuilder {
public:
    PerformanceBuilder();
    ~PerformanceBuilder();
    PerformanceBuilder(const PerformanceBuilder&) = delete;
    PerformanceBuilder& operator=(const PerformanceBuilder&) = delete;

    // Takes the song to perform (none only forgets the song): makes a player for every staff
    // that has none yet, audits the staffs that need it and binds player i to staff i.
    void attach(Song* song);
    // Fills a sequence that the caller has reset and filtered.
    void render(EventSequence& sequence);

    Song* song() const { return song_; }
    int playerCount() const { return static_cast<int>(players_.size()); }
    StaffPlayer& player(int i) { return *players_[static_cast<size_t>(i)]; }
    // Items played by the last render.
    uint32_t itemsPlayed() const { return itemsPlayed_; }

private:
    Song* song_ = nullptr;
    std::vector<std::unique_ptr<StaffPlayer>> players_;
    uint32_t itemsPlayed_ = 0;
};

}  // namespace scq
