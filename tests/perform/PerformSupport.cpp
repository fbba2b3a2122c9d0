#include "PerformSupport.h"

#include "song/SongFile.h"
#include "stream/MemoryStream.h"

namespace scq::perf {

std::unique_ptr<Song> LoadSong(const test::SongSpec& description) {
    const test::Bytes bytes = test::BuildSong(description);
    MemoryStream stream(bytes.data(), bytes.size());
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromStream(stream, info);
    if (info.status != kLoadNewest && info.status != kLoadOlder) return nullptr;
    return song;
}

std::unique_ptr<Song> LoadStaffs(std::vector<test::StaffSpec> staffs) {
    test::SongSpec description;
    description.staffs = std::move(staffs);
    return LoadSong(description);
}

std::unique_ptr<Song> LoadItems(std::vector<test::Item> items) {
    return LoadStaffs({test::MakeStaff("Staff", std::move(items))});
}

Rendered Render(Song& song, unsigned filter, PerformanceBuilder* builder) {
    PerformanceBuilder local;
    PerformanceBuilder& b = builder ? *builder : local;
    EventSequence seq(16);
    seq.allocatePages(16);
    seq.reset();
    b.attach(&song);
    seq.addFilterBits(filter);
    b.render(seq);
    Rendered r;
    seq.forEach([&](const SequenceEvent& e) { r.events.push_back(e); });
    r.milliseconds = seq.ElapsedMilliseconds();
    r.full = seq.isFull();
    r.itemsPlayed = b.itemsPlayed();
    return r;
}

std::vector<PlayedNote> Notes(const std::vector<SequenceEvent>& events) {
    std::vector<PlayedNote> notes;
    for (size_t i = 0; i < events.size(); ++i) {
        const SequenceEvent& e = events[i];
        if (e.kind() != ChannelMessage || e.type() != SequenceEvent::NoteOn || e.data2() == 0) {
            continue;
        }
        PlayedNote n{e.data1(), e.data2(), e.time, -1, e.channel()};
        for (size_t j = i + 1; j < events.size(); ++j) {
            const SequenceEvent& o = events[j];
            if (o.kind() == ChannelMessage && o.type() == SequenceEvent::NoteOn && o.data2() == 0 &&
                o.data1() == n.pitch && o.channel() == n.channel) {
                n.off = o.time;
                break;
            }
        }
        notes.push_back(n);
    }
    return notes;
}

std::vector<int> Pitches(const std::vector<SequenceEvent>& events) {
    std::vector<int> out;
    for (const PlayedNote& n : Notes(events)) out.push_back(n.pitch);
    return out;
}

std::vector<SequenceEvent> Messages(const std::vector<SequenceEvent>& events, int type,
                                    int controller) {
    std::vector<SequenceEvent> out;
    for (const SequenceEvent& e : events) {
        if (e.kind() != ChannelMessage || e.type() != type) continue;
        if (controller >= 0 && e.data1() != controller) continue;
        out.push_back(e);
    }
    return out;
}

}  // namespace scq::perf
