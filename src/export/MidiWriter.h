#pragma once

#include <cstdint>
#include <vector>

namespace scq {

class EventSequence;
class Song;

// The Standard MIDI File of a song: its SMF rendering (the performance whose length is the SMF
// play time) written out, format 1, 192 ticks per quarter note.
//
// Track 0 is the conductor track: the song's title as sequence name, its non-empty copyright
// lines, the rendering's tempo changes and the time and key signatures that the song's items
// make (each left out where it repeats the signature in force). Track i + 1
// belongs to staff i, whatever it holds: the staff's name, a port event with the staff's output
// device, and exactly the channel messages the staff adds to the rendering, in the rendering's
// order and at its ticks. Every track ends at the performance's end, the tick of the last event
// that is not a tempo change, so the file plays for exactly the SMF play time; nothing later is
// written. Texts are the song's windows-1252 bytes.
//
// The rendering keeps what the event sequence stored: when the performance fills the sequence,
// the file holds the events stored before it was full.
constexpr int kMidiDivision = 192;
// Track numbers are 16-bit and track 0 is the conductor's.
constexpr int kMaxMidiStaffs = 65534;

struct MidiWriteResult {
    enum class Status {
        Written,        // the file is in the output
        TooManyStaffs,  // the song has more staffs than a file has tracks; nothing written
    };
    Status status = Status::Written;
    int tracks = 0;                // conductor track included
    uint32_t channelMessages = 0;  // written to the staff tracks
    uint32_t metaEvents = 0;       // tempo changes, time and key signatures of the conductor
    int32_t endTick = 0;           // where every track ends
    bool full = false;             // the rendering filled the event sequence
    bool budgetReached = false;    // a rendering was cut short by a work budget

    bool written() const { return status == Status::Written; }
};

// Renders the song and writes the file into `out`, replacing what it held. The time and key
// signatures are those a rendering that keeps only them stores (WriteMidiFromRenderings with
// such a rendering writes the same bytes); the SMF rendering hands them on as it drops them,
// and a second rendering is made only where the two could differ.
MidiWriteResult WriteMidi(Song& song, std::vector<uint8_t>& out);

// Writes the file of a song from its two renderings: `smf`, the SMF rendering with every event
// tagged with the index of its staff, and `signatures`, a rendering that holds the time and key
// signatures. Channel messages that no Standard MIDI File can carry are left out (a status
// byte below 0x80 or above 0xEF); a data byte above 127 is written as 127. Events before tick 0
// are written at tick 0.
MidiWriteResult WriteMidiFromRenderings(const Song& song, const EventSequence& smf,
                                        const EventSequence& signatures, std::vector<uint8_t>& out);

}  // namespace scq
