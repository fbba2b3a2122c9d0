#pragma once

// A strict reader of Standard MIDI Files for the tests: chunks, variable-length quantities,
// channel messages without running status, meta events. Anything else is an error.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace scq::test::midi {

struct Event {
    int64_t tick = 0;
    std::vector<uint8_t> bytes;  // status and data, or 0xFF, type, length and data
    size_t dataAt = 0;           // where a meta event's data begin
    bool meta() const { return bytes[0] == 0xFF; }
    int metaType() const { return meta() ? bytes[1] : -1; }
    std::string text() const {
        return std::string(bytes.begin() + static_cast<long>(dataAt), bytes.end());
    }
};

struct File {
    std::string error;  // empty when the file reads
    int format = -1;
    int division = 0;
    std::vector<std::vector<Event>> tracks;

    // The events of a track other than the given meta types.
    std::vector<Event> without(size_t track, std::initializer_list<int> metaTypes) const {
        std::vector<Event> kept;
        for (const Event& e : tracks[track]) {
            bool drop = false;
            for (int t : metaTypes) drop = drop || e.metaType() == t;
            if (!drop) kept.push_back(e);
        }
        return kept;
    }
};

inline File Read(const std::vector<uint8_t>& b) {
    File f;
    size_t p = 0;
    auto need = [&](size_t n) { return p + n <= b.size(); };
    auto big = [&](int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | b[p++];
        return v;
    };
    auto fail = [&](std::string why) {
        f.error = why + " at byte " + std::to_string(p);
        return f;
    };
    if (!need(14) || std::memcmp(b.data(), "MThd", 4) != 0) return fail("no header chunk");
    p = 4;
    if (big(4) != 6) return fail("header length");
    f.format = static_cast<int>(big(2));
    const uint32_t count = big(2);
    f.division = static_cast<int>(big(2));
    for (uint32_t t = 0; t < count; ++t) {
        if (!need(8) || std::memcmp(b.data() + p, "MTrk", 4) != 0) return fail("no track chunk");
        p += 4;
        const uint32_t length = big(4);
        const size_t end = p + length;
        if (end > b.size()) return fail("track longer than the file");
        std::vector<Event> events;
        int64_t tick = 0;
        bool ended = false;
        while (p < end) {
            if (ended) return fail("events after End of Track");
            uint32_t delta = 0;
            for (int i = 0;; ++i) {
                if (i == 4 || p >= end) return fail("bad delta time");
                const uint8_t c = b[p++];
                delta = delta << 7 | (c & 0x7F);
                if (!(c & 0x80)) break;
            }
            tick += delta;
            Event e{tick, {}};
            const uint8_t status = b[p];
            if (status == 0xFF) {
                if (p + 3 > end) return fail("short meta event");
                e.bytes = {b[p], b[p + 1]};
                p += 2;
                uint32_t length = 0;
                for (int i = 0;; ++i) {
                    if (i == 4 || p >= end) return fail("bad meta length");
                    const uint8_t c = b[p++];
                    e.bytes.push_back(c);
                    length = length << 7 | (c & 0x7F);
                    if (!(c & 0x80)) break;
                }
                e.dataAt = e.bytes.size();
                if (p + length > end) return fail("meta event past the track");
                e.bytes.insert(e.bytes.end(), b.begin() + static_cast<long>(p),
                               b.begin() + static_cast<long>(p + length));
                p += length;
                ended = e.metaType() == 0x2F;
            } else if (status >= 0x80 && status < 0xF0) {
                const size_t size = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
                if (p + size > end) return fail("short channel message");
                for (size_t i = 0; i < size; ++i) {
                    if (i > 0 && b[p + i] > 0x7F) return fail("data byte above 127");
                    e.bytes.push_back(b[p + i]);
                }
                p += size;
            } else {
                return fail("not a status byte");
            }
            events.push_back(std::move(e));
        }
        if (!ended) return fail("track without End of Track");
        f.tracks.push_back(std::move(events));
    }
    if (p != b.size()) return fail("bytes after the last track");
    return f;
}

}  // namespace scq::test::midi
