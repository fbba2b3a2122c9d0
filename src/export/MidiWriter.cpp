#include "export/MidiWriter.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "perform/EventSequence.h"
#include "perform/PerformanceBuilder.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/Staff.h"

namespace scq {

namespace {

// The longest delta time a variable-length quantity holds (four bytes of seven bits).
constexpr uint32_t kMaxDelta = 0x0FFFFFFF;

// Meta event types.
constexpr uint8_t kMetaText = 0x01;
constexpr uint8_t kMetaCopyright = 0x02;
constexpr uint8_t kMetaTrackName = 0x03;
constexpr uint8_t kMetaPort = 0x21;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;
constexpr uint8_t kMetaKeySignature = 0x59;

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

// One track's bytes, written event by event at non-decreasing ticks.
class TrackWriter {
public:
    explicit TrackWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    // The delta time to `tick` (never before the last event's). A gap longer than a delta time
    // can say is bridged by empty text events.
    void at(int32_t tick) {
        uint32_t delta = tick > now_ ? static_cast<uint32_t>(tick - now_) : 0;
        while (delta > kMaxDelta) {
            PutVariableLength(bytes_, kMaxDelta);
            meta(kMetaText, nullptr, 0);
            delta -= kMaxDelta;
        }
        PutVariableLength(bytes_, delta);
        now_ = std::max(now_, tick);
    }
    void meta(uint8_t type, const uint8_t* data, size_t size) {
        bytes_.push_back(0xFF);
        bytes_.push_back(type);
        PutVariableLength(bytes_, static_cast<uint32_t>(size));
        bytes_.insert(bytes_.end(), data, data + size);
    }
    // A text field of a fixed buffer, up to its first 0 byte; nothing for an empty text.
    template <size_t N>
    void text(uint8_t type, const char (&field)[N]) {
        const size_t size = strnlen(field, N);
        if (size == 0) return;
        at(0);
        meta(type, reinterpret_cast<const uint8_t*>(field), size);
    }
    void put(uint8_t byte) { bytes_.push_back(byte); }
    void end(int32_t tick) {
        at(tick);
        meta(kMetaEndOfTrack, nullptr, 0);
    }

private:
    std::vector<uint8_t>& bytes_;
    int32_t now_ = 0;
};

// Only time and key signature items add signature events to a rendering.
bool HoldsSignatureItems(const Staff& staff) {
    for (int i = 0; i < staff.itemCount(); ++i) {
        const NotationItem* item = staff.itemAt(i);
        const int code = item ? item->typeCode() : -1;
        if (code == kKeySignatureItem || code == kTimeSignatureItem) return true;
    }
    return false;
}

uint8_t DataByte(uint8_t value) {
    return value > 0x7F ? uint8_t{0x7F} : value;
}

// A channel message; false for a status byte that a file cannot carry as one.
bool PutChannelMessage(TrackWriter& track, int32_t tick, const SequenceEvent& e) {
    const uint8_t status = e.byteA;
    if (status < 0x80 || status >= 0xF0) return false;
    track.at(tick);
    track.put(status);
    track.put(DataByte(e.byteB));
    // Program change and channel pressure carry one data byte.
    const uint8_t type = status & 0xF0;
    if (type != 0xC0 && type != 0xD0) track.put(DataByte(e.byteC));
    return true;
}

void PutConductorEvent(TrackWriter& track, int32_t tick, const SequenceEvent& e) {
    track.at(tick);
    switch (e.kind()) {
        case TempoEvent: {
            const uint8_t data[3] = {e.byteC, e.byteB, e.byteA};  // 24 bits, high byte first
            track.meta(kMetaTempo, data, sizeof data);
            break;
        }
        case TimeSignatureEvent: {
            // Beats, the beat value as a power of two, MIDI clocks per beat (24 to the quarter
            // note, at least 1), 8 thirty-seconds to the quarter note.
            const int code = e.beatValueCode();
            const int clocks = code <= 6 ? 96 >> code : 1;
            const uint8_t data[4] = {e.byteA, e.byteB, static_cast<uint8_t>(std::max(clocks, 1)),
                                     8};
            track.meta(kMetaTimeSignature, data, sizeof data);
            break;
        }
        case KeySignatureEvent: {
            // Sharps (positive) or flats (negative), -7 to 7, and the mode: 0 major, 1 minor.
            const int key = std::clamp(e.key(), -7, 7);
            const uint8_t data[2] = {static_cast<uint8_t>(static_cast<int8_t>(key)),
                                     static_cast<uint8_t>(e.modeFlag() != 0 ? 1 : 0)};
            track.meta(kMetaKeySignature, data, sizeof data);
            break;
        }
        default:
            break;
    }
}

// The file from the SMF rendering and the time and key signatures in the order a rendering
// stores them.
MidiWriteResult Write(const Song& song, const EventSequence& smf,
                      const std::vector<SequenceEvent>& signatures, std::vector<uint8_t>& out) {
    MidiWriteResult result;
    out.clear();
    const int staffs = song.staffCount();
    if (staffs > kMaxMidiStaffs) {
        result.status = MidiWriteResult::Status::TooManyStaffs;
        return result;
    }
    result.tracks = staffs + 1;
    result.full = smf.isFull();
    result.budgetReached = smf.workBudgetSpent();

    // The staff tracks fill while the rendering is read once; its tempo changes wait for the
    // conductor track. The performance ends with its last event that is not a tempo change.
    std::vector<std::vector<uint8_t>> bytes(static_cast<size_t>(result.tracks));
    std::vector<TrackWriter> tracks;
    tracks.reserve(bytes.size());
    for (auto& b : bytes) tracks.emplace_back(b);
    for (int i = 0; i < staffs; ++i) {
        const Staff& staff = *song.staffAt(i);
        TrackWriter& track = tracks[static_cast<size_t>(i) + 1];
        track.text(kMetaTrackName, staff.staffName);
        const uint8_t port = static_cast<uint8_t>(staff.device & 0x07);
        track.at(0);
        track.meta(kMetaPort, &port, 1);
    }
    std::vector<SequenceEvent> tempos;
    int32_t end = 0;
    smf.forEachWithOrigin([&](const SequenceEvent& e, int origin) {
        if (e.kind() == TempoEvent) {
            tempos.push_back(e);
            return;
        }
        end = e.time;
        if (e.kind() == ChannelMessage && origin < staffs &&
            PutChannelMessage(tracks[static_cast<size_t>(origin) + 1], std::max(e.time, 0), e)) {
            ++result.channelMessages;
        }
    });
    end = std::max(end, int32_t{0});
    result.endTick = end;
    auto clampTick = [end](int32_t t) { return std::clamp(t, int32_t{0}, end); };

    // The conductor track: texts, then the signatures and tempo changes merged by tick (the
    // signatures first at a tick they share).
    TrackWriter& conductor = tracks[0];
    conductor.text(kMetaTrackName, song.title);
    conductor.text(kMetaCopyright, song.copyright1);
    conductor.text(kMetaCopyright, song.copyright2);
    size_t nextTempo = 0;
    auto putTemposUpTo = [&](int32_t tick, bool including) {
        while (nextTempo < tempos.size() &&
               (tempos[nextTempo].time < tick || (including && tempos[nextTempo].time == tick))) {
            PutConductorEvent(conductor, clampTick(tempos[nextTempo].time), tempos[nextTempo]);
            ++nextTempo;
            ++result.metaEvents;
        }
    };
    // Every staff states the signatures it starts with or changes to; one that repeats the
    // signature of its kind in force says nothing new and is left out.
    std::optional<SequenceEvent> inForce[2];
    for (const SequenceEvent& e : signatures) {
        if (e.time > end) continue;
        if (e.kind() != TimeSignatureEvent && e.kind() != KeySignatureEvent) continue;
        std::optional<SequenceEvent>& last = inForce[e.kind() == KeySignatureEvent ? 1 : 0];
        if (last && last->byteA == e.byteA && last->byteB == e.byteB && last->byteC == e.byteC) {
            continue;
        }
        last = e;
        putTemposUpTo(e.time, false);
        PutConductorEvent(conductor, clampTick(e.time), e);
        ++result.metaEvents;
    }
    putTemposUpTo(end, true);
    for (TrackWriter& track : tracks) track.end(end);

    // The header chunk, then each track chunk.
    size_t total = 14;
    for (const auto& b : bytes) total += 8 + b.size();
    out.reserve(total);
    static constexpr char kHeader[] = "MThd";
    out.insert(out.end(), kHeader, kHeader + 4);
    PutBigEndian(out, 6, 4);
    PutBigEndian(out, 1, 2);  // format 1: tracks played together
    PutBigEndian(out, static_cast<uint32_t>(result.tracks), 2);
    PutBigEndian(out, kMidiDivision, 2);
    static constexpr char kTrack[] = "MTrk";
    for (const auto& b : bytes) {
        out.insert(out.end(), kTrack, kTrack + 4);
        PutBigEndian(out, static_cast<uint32_t>(b.size()), 4);
        out.insert(out.end(), b.begin(), b.end());
    }
    return result;
}

}  // namespace

MidiWriteResult WriteMidiFromRenderings(const Song& song, const EventSequence& smf,
                                        const EventSequence& signatures,
                                        std::vector<uint8_t>& out) {
    std::vector<SequenceEvent> stored;
    signatures.forEach([&stored](const SequenceEvent& e) { stored.push_back(e); });
    MidiWriteResult result = Write(song, smf, stored, out);
    result.budgetReached = result.budgetReached || signatures.workBudgetSpent();
    return result;
}

MidiWriteResult WriteMidi(Song& song, std::vector<uint8_t>& out) {
    if (song.staffCount() > kMaxMidiStaffs) {
        out.clear();
        MidiWriteResult result;
        result.status = MidiWriteResult::Status::TooManyStaffs;
        return result;
    }
    // The SMF rendering drops the time and key signatures; it hands them on as they come, which
    // is the order in which they enter a rendering that keeps them: a sequence stores events of
    // one tie rank by time, equal ones in the order they came, as long as they fit one page.
    EventSequence smf(16);
    std::vector<SequenceEvent> signatures;
    smf.setDroppedSink(&signatures, 1u << TimeSignatureEvent | 1u << KeySignatureEvent);
    PerformanceBuilder builder;
    RenderWithFilter(song, PlayTimeKindFilter(PlayTimeVariant::Smf), smf, builder);
    smf.setDroppedSink(nullptr, 0);
    // A rendering cut short (a full sequence, a bound) has played no item at or after where each
    // staff's walk stopped; the signatures up to the performance's end are all there when every
    // staff stopped beyond it or holds no signature item to play. Otherwise, or when they do not
    // fit one page, a rendering of their own gives them.
    bool complete = signatures.size() <= static_cast<size_t>(EventSequence::PageSize);
    if (complete && smf.isFull()) {
        int32_t end = 0;
        smf.forEach([&end](const SequenceEvent& e) {
            if (e.kind() != TempoEvent) end = e.time;
        });
        end = std::max(end, int32_t{0});
        for (int i = 0; i < song.staffCount() && complete; ++i) {
            const StaffPlayer& player = builder.player(i);
            complete = player.index() < 0 || player.state().time > end ||
                       !HoldsSignatureItems(*song.staffAt(i));
        }
    }
    if (!complete) {
        EventSequence own(16);
        RenderWithFilter(song, kSignaturesOnlyFilter, own);
        return WriteMidiFromRenderings(song, smf, own, out);
    }
    std::stable_sort(
        signatures.begin(), signatures.end(),
        [](const SequenceEvent& a, const SequenceEvent& b) { return a.time < b.time; });
    return Write(song, smf, signatures, out);
}

}  // namespace scq
