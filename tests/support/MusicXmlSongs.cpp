#include "support/MusicXmlSongs.h"

#include <algorithm>
#include <string>

#include "items/DurationItems.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"
#include "song/Staff.h"
#include "support/RichSongs.h"

namespace scq::test {

SongSpec NotationCases() {
    SongSpec song;
    song.info.title = std::string("A\x01<&>\"\x81\x80\xE9", 9);
    song.info.comments = "line one\rline two\x1F";
    std::vector<Item> rhythm = {Time(3, 4), Note(-1), Bar(),
                                Note(0, dur::Eighth).triplet(grp::First),
                                Note(1, dur::Eighth).triplet(grp::Middle),
                                Note(2, dur::Eighth).triplet(grp::End),
                                Note(0, dur::Quarter, attr::Dotted), Note(3, dur::Eighth), Bar(),
                                Note(0, dur::Half, attr::TieOut).accid(acc::Sharp),
                                Note(0, dur::Quarter, attr::TieOut), Bar(),
                                Note(0, dur::Quarter), Note(1, dur::Eighth, attr::Grace),
                                Chord(dur::Quarter, {0, 2, 4}),
                                Chord({Note(-2, dur::Quarter, attr::ChordMem),
                                       Note(3, dur::Half, attr::ChordMem)}),
                                Bar(bar::Double), Rest(dur::Whole), Bar(bar::LocalRepeatOpen),
                                RestChord(dur::Half, Chord(dur::Quarter, {-2, 0})),
                                Note(0, dur::Eighth).beam(grp::First).vis(vis::Never),
                                Note(1, dur::Eighth).beam(grp::End), Bar(bar::LocalRepeatClose, 3),
                                Bar(bar::MasterRepeatOpen), CommonTime(),
                                Note(0, dur::Whole, attr::DoubleDotted), Bar(bar::MasterRepeatClose),
                                Bar(bar::SectionOpen), AllaBreve(), Note(5, dur::Whole),
                                Bar(bar::SectionClose)};
    song.staffs.push_back(MakeStaff("Rhythm", rhythm));
    std::vector<Item> clefs;
    for (int c : {clef::Treble, clef::Bass, clef::Alto, clef::Tenor}) {
        for (int shift : {0, 1, 2}) {
            for (const Item& i : {Item(Clef(c, shift)), Item(Note(-3)), Item(Note(4)), Item(Bar())}) {
                clefs.push_back(i);
            }
        }
    }
    song.staffs.push_back(MakeStaff("Clefs", clefs));
    std::vector<Item> keys;
    for (int size = -7; size <= 7; ++size) {
        for (const Item& i : {Item(Key(size)), Item(Note(1)), Item(Note(2).accid(acc::Flat)),
                              Item(Note(2)), Item(Note(-5, dur::Quarter, 0, acc::Natural)),
                              Item(Bar()), Item(Note(2)), Item(Bar())}) {
            keys.push_back(i);
        }
    }
    keys.push_back(KeyMasks(1 << letter::E, 1 << letter::G | 1 << letter::A));
    keys.push_back(Note(0));
    song.staffs.push_back(MakeStaff("Keys", keys));
    std::vector<Item> marks = {Bar(bar::MasterRepeatOpen)};
    for (int e = 0; e < 8; ++e) {
        for (const Item& i : {Item(Ending(1 << e)), Item(Note(0, dur::Whole)),
                              Item(Bar(e < 7 ? bar::MasterRepeatClose : bar::Single))}) {
            marks.push_back(i);
        }
    }
    for (int k = 0; k < 10; ++k) marks.push_back(Flow(k));
    for (int d = dyn::ppp; d <= dyn::fff; ++d) marks.push_back(Dynamic(d));
    for (int b = tbase::Eighth; b <= tbase::DottedHalf; ++b) marks.push_back(Tempo(120, b));
    for (const Item& i : {Item(Dynamic(dyn::p)), Item(DynamicVariation(dvar::Crescendo)),
                          Item(Note(0).col(1)), Item(Dynamic(dyn::f)),
                          Item(TempoVariation(tvar::Accelerando)), Item(PerformanceStyle(7)),
                          Item(Text("words", 1)), Item(Pedal(true)), Item(Fermata()),
                          Item(Note(0).mute()), Item(BreathMark()), Item(Pedal(false)),
                          Item(Instrument(41)), Item(Tempo(90).vis(vis::Never)),
                          Item(Dynamic(dyn::mf).col(2)), Item(Text("hidden").vis(vis::Never)),
                          Item(DynamicVariation(dvar::Diminuendo).vis(vis::Never)),
                          Item(Note(0)), Item(Dynamic(dyn::pp).vis(vis::Never))}) {
        marks.push_back(i);
    }
    song.staffs.push_back(MakeStaff("Marks", marks));
    song.staffs.push_back(MakeStaff(
        "Short", {Note(0, dur::Whole), Bar(),
                  Chord({Note(-4, dur::Quarter, attr::ChordMem).stem(stem::Down),
                         Note(2, dur::Quarter, attr::ChordMem).stem(stem::Up)})}));
    song.staffs.back().transposition = -14;
    song.staffs.push_back(MakeStaff("Empty"));
    song.staffs.push_back(MakeStaff("Muted", {Note(1)}));
    song.staffs.back().muted = 1;
    return song;
}

std::vector<NamedSong> MusicXmlSongs() {
    std::vector<NamedSong> songs;
    songs.push_back({"cases", NotationCases()});
    songs.push_back({"no-staffs", SongSpec{}});
    for (int revision = 0; revision <= 16; ++revision) {
        songs.push_back({"rich-" + std::to_string(revision), RichSong(revision)});
    }
    int n = 0;
    for (SongSpec& s : FlowSongs()) songs.push_back({"flow-" + std::to_string(n++), std::move(s)});
    for (NamedSong& s : ExportSongs(false)) songs.push_back(std::move(s));
    return songs;
}

std::vector<NoteRow> StaffNotes(const Staff& staff) {
    std::vector<NoteRow> notes;
    PlayState state;
    int64_t time = 0;
    for (int i = 0; i < staff.itemCount(); ++i) {
        NotationItem* item = staff.itemAt(i);
        NotationItem* chord = item;
        if (item->typeCode() == kRestChordItem) {
            chord = static_cast<RestChordItem*>(item)->attachedChord.get();
        }
        if (chord && chord->hasNotes()) {
            const bool grace = static_cast<DurationItem*>(chord)->hasAttribute(DurationItem::kGrace) ||
                               chord->durationTicks() <= 0;
            for (int m = 0; m < chord->memberCount(); ++m) {
                const NoteItem* n = chord->member(m);
                notes.emplace_back(time, perform::notePitch(state, n->staffPosition, n->accidental),
                                   grace ? 0 : std::max(n->durationTicks(), 0));
            }
        }
        item->applyToStaffState(state);
        time += std::max(item->durationTicks(), 0);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

}  // namespace scq::test
