#include "support/RichSongs.h"

#include <string>

namespace scq::test {

namespace {

constexpr int Q = dur::Quarter, H = dur::Half, E = dur::Eighth, W = dur::Whole;

void Append(std::vector<Item>& to, const std::vector<Item>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// One 4/4 bar of quarter notes.
std::vector<Item> Bar4(int from) {
    return {Note(from, Q), Note(from - 1, Q), Note(from - 2, Q), Note(from - 3, Q), Bar()};
}

}  // namespace

std::vector<Item> EveryKindItems() {
    ControllerSpec sweep = Controller(1);
    sweep.sweepStyle = 1;
    sweep.point(0, 0, 60).point(1, 2, 100).point(2, 4, 40);
    ControllerSpec tempoSweep = Controller(0);
    tempoSweep.sweepStyle = 1;
    tempoSweep.point(0, 0, 90).point(1, 3, 140);
    return {
        Clef(clef::Treble),
        Key(2),
        Bar(),
        Ending(1 | 0x80),
        Instrument(41, 1, 0),
        Time(4, 4),
        Tempo(100, tbase::Quarter, "Moderato"),
        Dynamic(dyn::mf),
        Note(-2, Q, attr::Accented | attr::Staccato, acc::Sharp),
        Rest(E, attr::Dotted),
        Chord(H, {3, 0, -2}, attr::Tenuto),
        Pedal(true),
        Flow(flow::Segno),
        sweep,
        TempoVariation(tvar::Rallentando),
        DynamicVariation(dvar::Crescendo),
        PerformanceStyle(3),
        Text("cantabile", 2),
        RestChord(Q, Chord(Q, {1, -1})),
        tempoSweep,
        Fermata(6),
        BreathMark(3),
        Pedal(false),
    };
}

SongSpec RichSong(int revision) {
    std::vector<Item> top = {Clef(clef::Treble),   Key(-2),
                             CommonTime(),         Tempo(112, tbase::Quarter, "Allegro"),
                             Dynamic(dyn::p),      Instrument(74),
                             Text("espressivo", 1)};
    // A counted local repeat.
    Append(top, {Note(0, Q), Note(-1, E).beam(grp::First), Note(-2, E).beam(grp::End),
                 Note(-3, H, 0, acc::Natural), Bar(bar::LocalRepeatClose, 3)});
    // A master repeat with a first and a second ending.
    Append(top, {Bar(bar::MasterRepeatOpen), Flow(flow::Segno)});
    Append(top, Bar4(2));
    Append(top, {Ending(1), Note(1, H, attr::TieOut), Note(1, H, attr::TieIn),
                 Bar(bar::MasterRepeatClose), Ending(2), Note(-4, W), Bar()});
    // Ramps, articulations, triplets, grace notes.
    Append(top, {DynamicVariation(dvar::Crescendo), TempoVariation(tvar::Accelerando),
                 Note(-2, E, attr::Staccato).triplet(grp::First),
                 Note(-1, E, attr::Staccato).triplet(grp::Middle),
                 Note(0, E, attr::Staccato).triplet(grp::End), Note(1, Q, attr::Grace),
                 Note(2, Q, attr::Tenuto), Note(3, H, attr::Accented), Bar(), Flow(flow::ToCoda),
                 Note(0, W, attr::Dotted), Bar(), Flow(flow::DSAlCoda), Bar(bar::Double),
                 Flow(flow::Coda)});
    Append(top, EveryKindItems());
    Append(top,
           {Note(0, H, attr::SlurOut), Note(1, H, attr::SlurIn), Bar(), Fermata(12), Note(-1, W)});

    std::vector<Item> middle = {Clef(clef::Alto), Key(-2), CommonTime(), Dynamic(dyn::mp)};
    for (int bar = 0; bar < 12; ++bar) {
        Append(middle, {Chord(Q, {2, 0, -2}), Rest(Q), Chord(H, {3, 1, -1}),
                        Bar(bar == 3 ? bar::LocalRepeatClose : bar::Single, 2)});
    }
    Append(middle, {RestChord(H, Chord(H, {4, 2})), RestChord(H), Bar()});

    std::vector<Item> bottom = {Clef(clef::Bass, 1), Key(-2), CommonTime(), Dynamic(dyn::f),
                                Pedal(true)};
    for (int bar = 0; bar < 10; ++bar) {
        Append(bottom, {Note(4, H), Note(1, Q), Rest(Q), Bar()});
    }
    Append(bottom, {Pedal(false), DynamicVariation(dvar::Decrescendo), Note(4, W), Bar()});

    StaffSpec s1 = MakeStaff("Melody", top);
    s1.groupName = "Winds";
    s1.patch = 74;
    s1.channel = 0;
    s1.lyrics = Lyrics({"One two three four five six se-ven", "eight nine ten e-le-ven", "twelve"});
    s1.lyrics->optionsWord = 3;
    s1.endingBar = 1;
    StaffSpec s2 = MakeStaff("Viola", middle);
    s2.groupName = "Strings";
    s2.channel = 1;
    s2.patch = 42;
    s2.transposition = -12;
    s2.layerWithNext = 1;
    StaffSpec s3 = MakeStaff("Cello", bottom);
    s3.groupName = "Strings";
    s3.channel = 2;
    s3.patch = 43;
    s3.staffStyle = 3;
    s3.lineCount = 4;
    s3.volume = -1;

    SongSpec song;
    song.revision = revision;
    song.info.title = "Rich Song";
    song.info.author = "Test Composer";
    song.info.comments = "Every kind of item.\nRepeats, endings and a D.S. al Coda.";
    song.info.staffSelection = StaffSelection({0, 2});
    song.info.barNumberStyle = 2;
    song.staffs = {s1, s2, s3};
    return song;
}

std::vector<SongSpec> FlowSongs(int revision) {
    auto make = [revision](std::vector<Item> items) {
        SongSpec song;
        song.revision = revision;
        song.info.title = "Flow";
        std::vector<Item> all = {Clef(), CommonTime(), Tempo(120)};
        Append(all, items);
        song.staffs = {MakeStaff("Flow", all)};
        return song;
    };
    std::vector<SongSpec> songs;
    // Nested and counted local repeats.
    std::vector<Item> nested = Bar4(0);
    Append(nested, {Bar(bar::LocalRepeatOpen)});
    Append(nested, Bar4(1));
    Append(nested, {Note(0, W), Bar(bar::LocalRepeatClose, 4)});
    Append(nested, Bar4(2));
    nested.back() = Bar(bar::LocalRepeatClose, 2);
    songs.push_back(make(nested));
    // A master repeat with three endings and a default ending.
    std::vector<Item> endings = {Bar(bar::MasterRepeatOpen)};
    Append(endings, Bar4(0));
    Append(endings,
           {Ending(1 | 2), Note(0, W), Bar(bar::MasterRepeatClose), Ending(4), Note(1, W),
            Bar(bar::MasterRepeatClose), Ending(0x80), Note(2, W), Bar(bar::SectionClose)});
    songs.push_back(make(endings));
    // D.C. al Fine.
    std::vector<Item> dcFine = Bar4(0);
    Append(dcFine, {Flow(flow::Fine)});
    Append(dcFine, Bar4(1));
    Append(dcFine, {Flow(flow::DCAlFine)});
    songs.push_back(make(dcFine));
    // D.C. al Coda.
    std::vector<Item> dcCoda = Bar4(0);
    Append(dcCoda, {Flow(flow::ToCoda)});
    Append(dcCoda, Bar4(1));
    Append(dcCoda, {Flow(flow::DCAlCoda), Flow(flow::Coda)});
    Append(dcCoda, Bar4(2));
    songs.push_back(make(dcCoda));
    // D.S. al Fine and D.S. al Coda.
    for (int jump : {flow::DSAlFine, flow::DSAlCoda, flow::DalSegno, flow::DaCapo}) {
        std::vector<Item> ds = Bar4(0);
        Append(ds, {Flow(flow::Segno)});
        Append(ds, Bar4(1));
        Append(ds, {Flow(flow::Fine), Flow(flow::ToCoda)});
        Append(ds, Bar4(2));
        Append(ds, {Flow(jump), Flow(flow::Coda)});
        Append(ds, Bar4(3));
        songs.push_back(make(ds));
    }
    // Jumps whose targets are missing, and a repeat close without an open.
    songs.push_back(make({Note(0, Q), Flow(flow::DSAlCoda), Flow(flow::ToCoda), Note(1, Q),
                          Bar(bar::MasterRepeatClose), Note(2, Q), Bar(bar::LocalRepeatClose, 9),
                          Ending(2), Note(3, Q)}));
    return songs;
}

SongSpec LargeSong(int staffs, int itemsPerStaff) {
    // One cycle of 16 items: three 4/4 bars and a few marks.
    const std::vector<Item> cycle = {
        Note(0, Q),
        Note(-1, E).beam(grp::First),
        Note(-2, E).beam(grp::End),
        Chord(H, {2, 0, -2}),
        Bar(),
        Dynamic(dyn::mf),
        Rest(Q),
        Note(1, Q, attr::Staccato),
        Note(-3, H, 0, acc::Sharp),
        Bar(),
        Chord(Q, {1, -1}),
        Note(2, Q, attr::Accented),
        Rest(H),
        Bar(),
        Tempo(120),
        Text("x"),
    };
    SongSpec song;
    song.info.title = "Large Song";
    song.info.author = "Generated";
    for (int s = 0; s < staffs; ++s) {
        std::vector<Item> items = {Clef(s % 2 ? clef::Bass : clef::Treble), CommonTime()};
        items.reserve(static_cast<size_t>(itemsPerStaff));
        for (size_t i = 0; static_cast<int>(items.size()) < itemsPerStaff; ++i) {
            items.push_back(cycle[i % cycle.size()]);
        }
        StaffSpec staff = MakeStaff("Staff " + std::to_string(s + 1), std::move(items));
        staff.channel = s % 16;
        staff.patch = s % 128;
        song.staffs.push_back(std::move(staff));
    }
    return song;
}

Bytes BuildLargeSong(int staffs, int itemsPerStaff) {
    SongSpec song = LargeSong(0, 0);
    song.staffCount = staffs;
    Bytes bytes = BuildSong(song);
    for (int s = 0; s < staffs; ++s) {
        SongSpec one = LargeSong(1, itemsPerStaff);
        StaffSpec& staff = one.staffs[0];
        staff.staffName = "Staff " + std::to_string(s + 1);
        staff.items[0] = Clef(s % 2 ? clef::Bass : clef::Treble);
        staff.channel = s % 16;
        staff.patch = s % 128;
        const Bytes record = BuildStaff(staff, song.revision);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

Bytes BuildMemoryBomb(int staffs, int itemsPerStaff) {
    constexpr int kRevision = 9;
    SongSpec song;
    song.revision = kRevision;
    song.staffCount = staffs;
    Bytes plain = BuildSong(song);
    const Bytes staff = BuildStaff(
        MakeStaff("Bomb", std::vector<Item>(static_cast<size_t>(itemsPerStaff), Item(Text("")))),
        kRevision);
    plain.reserve(plain.size() + staff.size() * static_cast<size_t>(staffs));
    for (int i = 0; i < staffs; ++i) plain.insert(plain.end(), staff.begin(), staff.end());
    return Compress(plain);
}

SongSpec SmallSong(int n, int approxBytes) {
    SongSpec song;
    song.info.title = "Small Song " + std::to_string(n);
    song.info.author = "Author " + std::to_string(n % 97);
    // The header and song information take about 700 bytes; a note record about 12.
    std::vector<Item> items = {Clef(), CommonTime(), Tempo(90 + n % 60)};
    const int notes = approxBytes > 800 ? (approxBytes - 800) / 12 : 0;
    for (int i = 0; i < notes; ++i) {
        items.push_back(Note(i % 7 - 3, Q));
        if (i % 4 == 3) items.push_back(Bar());
    }
    song.staffs = {MakeStaff("Solo", items)};
    return song;
}

}  // namespace scq::test
