#pragma once

#include <cstdint>

namespace scq {

// The kind of a sequence event, kept in the high four bits of its last byte. A kind filter
// bit k (1 << k) stands for the kind k.
enum EventKind : int {
    ChannelMessage = 0,
    TempoEvent = 1,
    TimeSignatureEvent = 2,
    KeySignatureEvent = 3,
    PauseEvent = 4,
};

// One timed event of a performance, 8 bytes: the time in ticks (192 to the quarter note),
// three value bytes and a byte holding the kind (bits 4-7) and the output device (bits 0-2).
//
// A channel message holds the status byte 0x80 + 16 x type + channel in byte A and its two
// data bytes in B and C. A tempo holds microseconds per quarter note in 24 bits, byte A
// lowest; a time signature the beats per bar in A and the beat-value code in B; a key
// signature the signed 16-bit key in A (low) and B (high) and the mode flag in C; a pause
// its unsigned 16-bit length in 48-tick units in A (low) and B (high).
struct SequenceEvent {
    // Channel message types: the high nibble of the status byte less 8.
    static constexpr int NoteOff = 0;
    static constexpr int NoteOn = 1;
    static constexpr int ControlChange = 3;
    static constexpr int ProgramChange = 4;
    static constexpr int PitchBend = 6;
    // The controller number of the sustain pedal, which has its own tie ranks.
    static constexpr int SustainPedal = 64;

    int32_t time = 0;
    uint8_t byteA = 0;
    uint8_t byteB = 0;
    uint8_t byteC = 0;
    uint8_t kindAndDevice = 0;

    friend bool operator==(const SequenceEvent&, const SequenceEvent&) = default;

    int kind() const { return kindAndDevice >> 4; }
    void setKind(int kind) {
        kindAndDevice = static_cast<uint8_t>(((kind & 0x0F) << 4) | (kindAndDevice & 0x0F));
    }
    int device() const { return kindAndDevice & 0x07; }
    void setDevice(int device) {
        kindAndDevice = static_cast<uint8_t>((kindAndDevice & 0xF8) | (device & 0x07));
    }

    // Channel message fields, set one by one. Setting the type also makes the event a
    // channel message; the channel is the low nibble of the status byte.
    int type() const { return (byteA >> 4) & 0x07; }
    void setType(int type) {
        byteA = static_cast<uint8_t>(0x80 | ((type & 0x07) << 4) | (byteA & 0x0F));
        setKind(ChannelMessage);
    }
    int channel() const { return byteA & 0x0F; }
    void setChannel(int channel) {
        byteA = static_cast<uint8_t>((byteA & 0xF0) | (channel & 0x0F));
    }
    int data1() const { return byteB; }
    void setData1(int value) { byteB = static_cast<uint8_t>(value); }
    int data2() const { return byteC; }
    void setData2(int value) { byteC = static_cast<uint8_t>(value); }

    // Values of the other kinds.
    uint32_t tempoValue() const {
        return static_cast<uint32_t>(byteA) | static_cast<uint32_t>(byteB) << 8 |
               static_cast<uint32_t>(byteC) << 16;
    }
    unsigned pauseUnits() const { return byteA | static_cast<unsigned>(byteB) << 8; }
    int key() const { return static_cast<int16_t>(static_cast<uint16_t>(pauseUnits())); }
    int beatsPerBar() const { return byteA; }
    int beatValueCode() const { return byteB; }
    int modeFlag() const { return byteC; }

    // Order of events that share a time: note off (and note on with velocity 0), sustain
    // pedal up, everything else, sustain pedal down, note on.
    int tieRank() const {
        if (kind() != ChannelMessage) return 2;
        switch (type()) {
            case NoteOff:
                return 0;
            case NoteOn:
                return byteC == 0 ? 0 : 4;
            case ControlChange:
                if (byteB == SustainPedal) return byteC < 65 ? 1 : 3;
                return 2;
            default:
                return 2;
        }
    }

    // True when this event belongs behind `other`: a later time, or the same time and a
    // greater tie rank.
    bool sortsAfter(const SequenceEvent& other) const {
        if (time != other.time) return time > other.time;
        return tieRank() > other.tieRank();
    }

    static SequenceEvent channelMessage(int32_t time, int type, int channel, int device, int data1,
                                        int data2) {
        SequenceEvent e;
        e.time = time;
        e.setType(type);
        e.setChannel(channel);
        e.setDevice(device);
        e.setData1(data1);
        e.setData2(data2);
        return e;
    }
    // `microsecondsPerQuarter` keeps its low 24 bits.
    static SequenceEvent tempo(int32_t time, uint32_t microsecondsPerQuarter) {
        return valued(time, TempoEvent, microsecondsPerQuarter);
    }
    static SequenceEvent timeSignature(int32_t time, int beats, int beatValueCode) {
        return valued(time, TimeSignatureEvent,
                      (static_cast<uint32_t>(beats) & 0xFF) |
                          (static_cast<uint32_t>(beatValueCode) & 0xFF) << 8);
    }
    static SequenceEvent keySignature(int32_t time, int key, int modeFlag) {
        return valued(time, KeySignatureEvent,
                      (static_cast<uint32_t>(key) & 0xFFFF) | (modeFlag ? 1u << 16 : 0u));
    }
    static SequenceEvent pause(int32_t time, unsigned units) {
        return valued(time, PauseEvent, units & 0xFFFF);
    }

private:
    static SequenceEvent valued(int32_t time, int kind, uint32_t value) {
        SequenceEvent e;
        e.time = time;
        e.byteA = static_cast<uint8_t>(value);
        e.byteB = static_cast<uint8_t>(value >> 8);
        e.byteC = static_cast<uint8_t>(value >> 16);
        e.setKind(kind);
        return e;
    }
};

static_assert(sizeof(SequenceEvent) == 8);

}  // namespace scq
