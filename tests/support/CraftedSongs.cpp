#include "support/CraftedSongs.h"

#include <algorithm>
#include <functional>
#include <string>

namespace scq::test::crafted {

namespace {

// The most items a staff record holds besides its two bar lines (the stored count is 16-bit).
constexpr int kMostItems = 32765;
constexpr int kMostStaffs = 32767;
// Every pass of a master repeat that has met an ending plays, up to eight.
constexpr int kEveryPass = 0xFF;
// The render's tick bound.
constexpr int64_t kTickBound = int64_t{1} << 30;
constexpr int kHalfTicks = 384;
constexpr int kMasterPasses = 8;

// ---------------------------------------------------------------------------------------------
// Writing songs of many blocks without holding their descriptions.

// A song whose texts are all empty: the smallest header and song information a revision has.
SongSpec BareSong(int revision) {
    SongSpec song;
    song.revision = revision;
    SongInfoSpec& info = song.info;
    info.title = info.author = info.copyright1 = info.copyright2 = info.comments = "";
    info.optionString = info.discardedString = "";
    info.marginsText = "";
    for (FontSpec& font : info.fonts) font.name = "";
    return song;
}

StaffSpec BareStaff() {
    StaffSpec staff = MakeStaff("");
    staff.groupName = "";
    return staff;
}

void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// The items of a staff record, already written.
struct StaffItems {
    Bytes bytes;
    int count = 0;

    void add(int revision, const Item& item) {
        Append(bytes, BuildItem(revision, item));
        ++count;
    }
    void add(int revision, const std::vector<Item>& items) {
        for (const Item& item : items) add(revision, item);
    }
};

// A bare staff record holding the items (revisions 8 and older store their own two bar lines
// around them).
Bytes StaffRecord(int revision, const StaffItems& items) {
    StaffSpec staff = BareStaff();
    staff.storedItemCount = items.count + 2;
    Bytes record = BuildStaff(staff, revision);
    if (revision <= 8) {
        const size_t closing = BuildItem(revision, Bar(bar::SectionClose)).size();
        record.insert(record.end() - static_cast<std::ptrdiff_t>(closing), items.bytes.begin(),
                      items.bytes.end());
    } else {
        Append(record, items.bytes);
    }
    return record;
}

// A bare song of `count` staffs: the first `firstCount` are `first`, the rest `rest`.
Bytes SongOf(int revision, const Bytes& first, int firstCount, const Bytes& rest, int count) {
    SongSpec song = BareSong(revision);
    song.staffCount = count;
    Bytes bytes = BuildSong(song);
    bytes.reserve(bytes.size() + first.size() * static_cast<size_t>(firstCount) +
                  rest.size() * static_cast<size_t>(count - firstCount));
    for (int i = 0; i < count; ++i) Append(bytes, i < firstCount ? first : rest);
    return bytes;
}

// Staffs of [prologue, block 0, block 1, ..., epilogue], as many blocks to a staff as the
// record holds, `blocks` blocks in all. A block is given its index within its staff, so that
// every full staff is the same and is written once.
using BlockFn = std::function<std::vector<Item>(int)>;

int BlocksPerStaff(int itemsPerBlock, int frameItems) {
    return (kMostItems - frameItems) / itemsPerBlock;
}

Bytes FramedSong(int revision, int blocks, const std::vector<Item>& prologue, int itemsPerBlock,
                 const BlockFn& block, const std::vector<Item>& epilogue) {
    const int perStaff =
        BlocksPerStaff(itemsPerBlock, static_cast<int>(prologue.size() + epilogue.size()));
    auto staff = [&](int count) {
        StaffItems items;
        items.add(revision, prologue);
        for (int b = 0; b < count; ++b) items.add(revision, block(b));
        items.add(revision, epilogue);
        return StaffRecord(revision, items);
    };
    const int full = blocks / perStaff;
    const int left = blocks % perStaff;
    const Bytes fullStaff = full > 0 ? staff(perStaff) : Bytes{};
    const Bytes lastStaff = left > 0 ? staff(left) : Bytes{};
    return SongOf(revision, fullStaff, full, lastStaff, full + (left > 0 ? 1 : 0));
}

int MaxFramedScale(int itemsPerBlock, int frameItems) {
    return BlocksPerStaff(itemsPerBlock, frameItems) * kMostStaffs;
}

// ---------------------------------------------------------------------------------------------
// Items.

BarLineSpec RepeatClose(int passes) {
    return Bar(bar::LocalRepeatClose, passes);
}

// A linear sweep of the volume controller through 65534 steps of one, spread over 32767 whole
// notes, starting `startUnits` whole notes after the staff's time.
ControllerSpec Sweep(int startUnits) {
    ControllerSpec c = Controller(1);
    c.sweepStyle = 1;
    c.timeUnit = 0;
    c.sweepStep = 1;
    c.point(0, startUnits, -32767).point(1, 32767, 32767);
    return c;
}

// One volume value `units` whole notes after the staff's time.
ControllerSpec PointAhead(int units) {
    ControllerSpec c = Controller(1);
    c.timeUnit = 0;
    c.point(0, units, 64);
    return c;
}

DynamicSpec VolumeMark(int volume) {
    DynamicSpec d = Dynamic(dyn::mf);
    d.volumeGiven = 1;
    d.volume = volume;
    return d;
}

// Members at positions that cycle through five octaves, so that the chord refresh has work.
ChordSpec BigChord(int members, int attributes) {
    std::vector<Item> notes;
    notes.reserve(static_cast<size_t>(members));
    for (int i = 0; i < members; ++i) {
        notes.push_back(Note(i % 40 - 20, dur::Quarter, attr::ChordMem | attributes));
    }
    ChordSpec chord = Chord(std::move(notes));
    chord.attributes |= attributes;
    return chord;
}

// ---------------------------------------------------------------------------------------------
// The families.

// A master repeat with an ending (eight passes) around local repeats, each replaying one sweep
// that starts far ahead, each a little earlier than the one before.
Bytes ReplayedSweeps(int scale, int passes) {
    return FramedSong(0, scale, {Ending(kEveryPass)}, 2,
                      [&](int b) -> std::vector<Item> {
                          return {Sweep(32767 - 8 * (b % 64)), RepeatClose(passes)};
                      },
                      {Bar(bar::MasterRepeatClose)});
}

// Blocks of 32 equal controller points far ahead, replayed, then sweeps that fall before
// them: every event of a sweep passes the pages of equal events.
constexpr int kEqualPoints = 32;
constexpr int kSweepsAfterPages = 4;

Bytes EqualPagesAhead(int scale, int passes) {
    std::vector<Item> tail;
    for (int i = 0; i < kSweepsAfterPages; ++i) {
        tail.push_back(Sweep(0));
        tail.push_back(RepeatClose(passes));
    }
    tail.push_back(Bar(bar::MasterRepeatClose));
    return FramedSong(
        0, scale, {Ending(kEveryPass)}, kEqualPoints + 1,
        [&](int b) {
            std::vector<Item> block(kEqualPoints, PointAhead(32767 - b % 64));
            block.push_back(RepeatClose(passes));
            return block;
        },
        tail);
}

// One staff plays a half note and half rests under a local repeat inside a master repeat up to
// the render's tick bound (with 255 passes); `scale` staffs beside it hold no items.
constexpr int kIdleRests =
    static_cast<int>(kTickBound / (kMasterPasses * kMostPasses * kHalfTicks)) + 1;

Bytes IdleStaffs(int scale, int passes) {
    constexpr int revision = 16;
    StaffItems player;
    player.add(revision, {Ending(kEveryPass), Bar(bar::LocalRepeatOpen), Note(0, dur::Half)});
    for (int i = 1; i < kIdleRests; ++i) player.add(revision, Rest(dur::Half));
    player.add(revision, {RepeatClose(passes), Bar(bar::MasterRepeatClose)});
    return SongOf(revision, StaffRecord(revision, player), 1, StaffRecord(revision, {}), scale + 1);
}

// `scale` empty text items, as many to a staff as a record holds: a few bytes in the file
// each, an object each in memory.
Bytes MemoryBomb(int scale, int /*passes*/) {
    return FramedSong(0, scale, {}, 1, [](int) -> std::vector<Item> { return {Text("")}; }, {});
}

// Tempo ramps of 65534 steps, each replayed by a local repeat that takes no time: every pass
// lays the same ramp over the one before. A note at the end makes every ramp count.
constexpr int kRampRests = 86;  // whole rests: 66048 ticks, one tick or more per step

std::vector<Item> RampRests(int count) {
    return std::vector<Item>(static_cast<size_t>(count), Rest(dur::Whole));
}

Bytes TempoRamps(int scale, int passes) {
    return FramedSong(0, scale, {Ending(kEveryPass), Tempo(-1)}, kRampRests + 4,
                      [&](int b) {
                          std::vector<Item> block = {Bar(bar::LocalRepeatOpen),
                                                     TempoVariation(tvar::Accelerando),
                                                     RepeatClose(passes)};
                          const std::vector<Item> rests = RampRests(kRampRests);
                          block.insert(block.end(), rests.begin(), rests.end());
                          block.push_back(Tempo(b % 2 == 0 ? 1 : -1));
                          return block;
                      },
                      {Bar(bar::MasterRepeatClose), Note(0)});
}

// The same ramps, each pass starting a sixty-fourth later than the one before: 255 ramps
// overlap, their events interleaved.
Bytes OverlappingTempoRamps(int scale, int passes) {
    return FramedSong(0, scale, {Ending(kEveryPass), Tempo(-1)}, kRampRests + 5,
                      [&](int b) {
                          std::vector<Item> block = {Bar(bar::LocalRepeatOpen),
                                                     TempoVariation(tvar::Accelerando),
                                                     Rest(dur::SixtyFourth), RepeatClose(passes)};
                          const std::vector<Item> rests = RampRests(kRampRests);
                          block.insert(block.end(), rests.begin(), rests.end());
                          block.push_back(Tempo(b % 2 == 0 ? 1 : -1));
                          return block;
                      },
                      {Bar(bar::MasterRepeatClose), Note(0)});
}

// Volume ramps from 0 to 127 over ten whole notes, replayed a sixty-fourth apart.
constexpr int kVolumeRampRests = 10;

Bytes VolumeRamps(int scale, int passes) {
    return FramedSong(16, scale, {Ending(kEveryPass)}, kVolumeRampRests + 6,
                      [&](int) {
                          std::vector<Item> block = {Bar(bar::LocalRepeatOpen), VolumeMark(0),
                                                     DynamicVariation(dvar::Crescendo),
                                                     Rest(dur::SixtyFourth), RepeatClose(passes)};
                          const std::vector<Item> rests = RampRests(kVolumeRampRests);
                          block.insert(block.end(), rests.begin(), rests.end());
                          block.push_back(VolumeMark(127));
                          return block;
                      },
                      {Bar(bar::MasterRepeatClose)});
}

// Every flow rule at every visit: a Segno, a master repeat with an ending around local repeats
// whose endings alternate by pass and which hold a To Coda, then a To Coda, a D.S. al Coda back
// to the Segno, the Coda, and the same blocks again after it. The walk plays the first half
// eight times, once more after the D.S., jumps to the Coda and plays the second half eight
// times. Nothing takes time, so it goes on until the render's bound on items played.
Bytes FlowMaze(int scale, int passes) {
    // On odd passes the first ending plays and the second is skipped to the double bar; on even
    // passes the first is skipped to the second. Either way the local repeat's close is met.
    const std::vector<Item> block = {Bar(bar::LocalRepeatOpen), Ending(0x55),
                                     Flow(flow::ToCoda),        Ending(0xAA),
                                     Bar(bar::Double),          RepeatClose(passes)};
    const int size = static_cast<int>(block.size());
    const int half = BlocksPerStaff(size, 10) / 2;
    const int blocks = std::min(scale, half);
    StaffItems staff;
    staff.add(0, {Flow(flow::Segno), Bar(bar::MasterRepeatOpen), Ending(kEveryPass)});
    for (int b = 0; b < blocks; ++b) staff.add(0, block);
    staff.add(0, {Bar(bar::MasterRepeatClose), Flow(flow::ToCoda), Flow(flow::DSAlCoda),
                  Flow(flow::Coda), Bar(bar::MasterRepeatOpen), Ending(kEveryPass)});
    for (int b = 0; b < blocks; ++b) staff.add(0, block);
    staff.add(0, Bar(bar::MasterRepeatClose));
    // Past one staff's room the same staff is copied: the render's bound is shared by all.
    const int copies = (scale + half - 1) / half;
    const Bytes record = StaffRecord(0, staff);
    return SongOf(0, record, copies, record, copies);
}

// Chords of up to 32767 members, replayed; `scale` members in all.
constexpr int kMostMembers = 32767;

Bytes ChordSong(int scale, int passes, int attributes) {
    const int chords = (scale + kMostMembers - 1) / kMostMembers;
    const int last = scale - (chords - 1) * kMostMembers;
    const ChordSpec big = BigChord(std::min(scale, kMostMembers), attributes);
    const Bytes bigBytes = BuildItem(16, big);
    const Bytes lastBytes = BuildItem(16, BigChord(last, attributes));
    // Each chord in a local repeat, a few dozen chords to a staff.
    constexpr int perStaff = 64;
    auto staff = [&](int count, bool endsWithLast) {
        StaffItems items;
        items.add(16, Ending(kEveryPass));
        for (int c = 0; c < count; ++c) {
            items.add(16, Bar(bar::LocalRepeatOpen));
            Append(items.bytes, endsWithLast && c == count - 1 ? lastBytes : bigBytes);
            ++items.count;
            items.add(16, RepeatClose(passes));
        }
        items.add(16, Bar(bar::MasterRepeatClose));
        return StaffRecord(16, items);
    };
    const int fullStaffs = (chords - 1) / perStaff;
    const int leftChords = chords - fullStaffs * perStaff;
    return SongOf(16, staff(perStaff, false), fullStaffs, staff(leftChords, true), fullStaffs + 1);
}

Bytes BigChords(int scale, int passes) {
    return ChordSong(scale, passes, 0);
}

// Grace chords take no time: their replays never end a slice.
Bytes FrozenChords(int scale, int passes) {
    return ChordSong(scale, passes, attr::Grace);
}

// Grace notes replayed by repeats and a D.C.: no time passes, so the walk plays until the
// render's bound on items played, adding notes among notes already laid down. (Files older
// than revision 7 cannot mark a grace note.)
constexpr int kGraceRevision = 16;

Bytes GraceLoop(int scale, int passes) {
    StaffItems staff;
    staff.add(kGraceRevision, {Ending(kEveryPass), Bar(bar::LocalRepeatOpen)});
    const int notes = std::min(scale, kMostItems - 5);
    for (int i = 0; i < notes; ++i)
        staff.add(kGraceRevision, Note(i % 16 - 8, dur::Quarter, attr::Grace));
    staff.add(kGraceRevision,
              {RepeatClose(passes), Bar(bar::MasterRepeatClose), Flow(flow::DaCapo)});
    const Bytes record = StaffRecord(kGraceRevision, staff);
    const int copies = (scale + kMostItems - 6) / (kMostItems - 5);
    return SongOf(kGraceRevision, record, copies, record, copies);
}

// Controller items of four points replayed by repeats and a D.C.: no time passes, so the walk
// plays until the render's bound on items played, each item adding four events.
Bytes PointLoop(int scale, int passes) {
    ControllerSpec points = Controller(2);
    points.timeUnit = 7;  // six ticks
    for (int i = 0; i < 4; ++i) points.point(i, i == 0 ? 0 : 1, 16 * i);
    StaffItems staff;
    staff.add(0, {Ending(kEveryPass), Bar(bar::LocalRepeatOpen)});
    const int count = std::min(scale, kMostItems - 5);
    for (int i = 0; i < count; ++i) staff.add(0, points);
    staff.add(0, {RepeatClose(passes), Bar(bar::MasterRepeatClose), Flow(flow::DaCapo)});
    const Bytes record = StaffRecord(0, staff);
    const int copies = (scale + kMostItems - 6) / (kMostItems - 5);
    return SongOf(0, record, copies, record, copies);
}

// Many staffs with events at the same ticks: a chord of eight and four controller values at
// the start of each.
Bytes CrowdedTick(int scale, int /*passes*/) {
    ControllerSpec points = Controller(2);
    for (int i = 0; i < 4; ++i) points.point(i, 0, 10 * i);
    StaffItems staff;
    staff.add(16, {points, Chord(dur::Half, {-4, -3, -2, -1, 0, 1, 2, 3})});
    const Bytes record = StaffRecord(16, staff);
    return SongOf(16, record, scale, record, scale);
}

// Many staffs that each play the same sweep at the same ticks: every staff's events go in
// among the equal events of the staffs before it.
Bytes ParallelSweeps(int scale, int /*passes*/) {
    StaffItems staff;
    staff.add(0, Sweep(0));
    const Bytes record = StaffRecord(0, staff);
    return SongOf(0, record, scale, record, scale);
}

// A tail of sweeps far ahead fills the sequence, then grace notes replayed without end go in
// before it.
Bytes TailAhead(int scale, int passes) {
    StaffItems staff;
    for (int i = 0; i < 17; ++i) staff.add(kGraceRevision, Sweep(32767));
    staff.add(kGraceRevision, {Ending(kEveryPass), Bar(bar::LocalRepeatOpen)});
    const int notes = std::min(scale, kMostItems - 17 - 5);
    for (int i = 0; i < notes; ++i)
        staff.add(kGraceRevision, Note(i % 16 - 8, dur::Quarter, attr::Grace));
    staff.add(kGraceRevision,
              {RepeatClose(passes), Bar(bar::MasterRepeatClose), Flow(flow::DaCapo)});
    return SongOf(kGraceRevision, StaffRecord(kGraceRevision, staff), 1, {}, 1);
}

// Long texts that compress to nothing: `scale` half-kilobytes in one text item, a tempo text,
// the title and the comments.
Bytes InflatedText(int scale, int /*passes*/) {
    SongSpec song = BareSong(16);
    const std::string text(static_cast<size_t>(scale) * 512, 'x');
    song.info.title = song.info.comments = text;
    StaffSpec staff = BareStaff();
    staff.items = {Text(text), Tempo(100, tbase::Quarter, text), Note(0)};
    song.staffs = {staff};
    return BuildSong(song);
}

}  // namespace

const std::vector<Family>& Families() {
    static const std::vector<Family> families = {
        {"replayed-sweeps",
         "sweeps of 65534 steps far ahead, each replayed by a local repeat in an 8-pass master "
         "repeat, each block starting a little earlier",
         ReplayedSweeps, MaxFramedScale(2, 2), 1721, 293189},
        {"equal-pages-ahead",
         "blocks of 32 equal controller points far ahead, replayed, then four replayed sweeps "
         "before them",
         EqualPagesAhead, MaxFramedScale(kEqualPoints + 1, 2 + 2 * kSweepsAfterPages), 59, 8478},
        {"idle-staffs",
         "one staff plays a half note and half rests under repeats up to the tick bound beside "
         "many staffs with no items",
         IdleStaffs, kMostStaffs - 1, 1287, kMostStaffs - 1},
        {"memory-bomb", "empty text items, as many to a staff as a record holds", MemoryBomb,
         MaxFramedScale(1, 0), 13084, 8442022},
        {"tempo-ramps",
         "tempo ramps of 65534 steps, each replayed 255 times at the same tick by a local repeat",
         TempoRamps, MaxFramedScale(kRampRests + 4, 4), 92, 27899},
        {"overlapping-tempo-ramps",
         "tempo ramps of 65534 steps replayed a sixty-fourth apart, 255 of them overlapping",
         OverlappingTempoRamps, MaxFramedScale(kRampRests + 5, 4), 91, 27195},
        {"volume-ramps", "volume ramps replayed a sixty-fourth apart, overlapping", VolumeRamps,
         MaxFramedScale(kVolumeRampRests + 6, 2), 415, 105966},
        {"flow-maze",
         "endings, local and master repeats, To Coda, D.S. al Coda and Coda that take no time: "
         "the walk runs to the bound on items played",
         FlowMaze, 32767 * 100, 1362, 502136},
        {"big-chords", "chords of up to 32767 members, each replayed by a local repeat", BigChords,
         32767 * 1000, 5934, 1348538},
        {"frozen-chords", "grace chords of up to 32767 members replayed without taking time",
         FrozenChords, 32767 * 1000, 5934, 1348514},
        {"grace-loop", "grace notes replayed by repeats and a D.C. until the bound on items played",
         GraceLoop, (kMostItems - 5) * 100, 5935, 1474200},
        {"point-loop",
         "controller items of four points replayed by repeats and a D.C. until the bound on "
         "items played",
         PointLoop, (kMostItems - 5) * 100, 1923, 622440},
        {"crowded-tick",
         "many staffs, each with a chord of eight and four controller values on the first tick",
         CrowdedTick, kMostStaffs, 369, kMostStaffs},
        {"parallel-sweeps", "many staffs playing the same sweep of 65534 steps at the same ticks",
         ParallelSweeps, kMostStaffs, 884, kMostStaffs},
        {"tail-ahead",
         "seventeen sweeps far ahead fill the sequence, then grace notes replayed before them",
         TailAhead, kMostItems - 22, 5878, kMostItems - 22},
        {"inflated-text", "texts of half a kilobyte per scale step in every text field",
         InflatedText, 1 << 20, 31, 32844},
    };
    return families;
}

const Family* FindFamily(std::string_view name) {
    for (const Family& family : Families()) {
        if (family.name == name) return &family;
    }
    return nullptr;
}

Bytes Build(const Family& family, int scale, bool compressed, int passes) {
    Bytes plain = family.build(std::clamp(scale, 1, family.maxScale), passes);
    return compressed ? Compress(plain) : plain;
}

Bytes BuildFull(const Family& family, bool compressed) {
    return Build(family, compressed ? family.fullCompressedScale : family.fullPlainScale,
                 compressed);
}

int FitScale(const Family& family, size_t maxBytes, bool compressed, int passes) {
    auto fits = [&](int scale) {
        return Build(family, scale, compressed, passes).size() <= maxBytes;
    };
    if (!fits(1)) return 0;
    // Doubling, then halving the gap: sizes grow with the scale.
    int good = 1;
    int bad = 0;
    while (bad == 0) {
        const int next = good >= family.maxScale / 2 ? family.maxScale : good * 2;
        if (next == good) return good;
        if (fits(next)) {
            good = next;
        } else {
            bad = next;
        }
    }
    while (bad - good > 1) {
        const int mid = good + (bad - good) / 2;
        (fits(mid) ? good : bad) = mid;
    }
    return good;
}

}  // namespace scq::test::crafted
