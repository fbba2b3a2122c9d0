#include "support/ExportSongs.h"

#include "support/RichSongs.h"

namespace scq::test {

namespace {

constexpr int Q = dur::Quarter, H = dur::Half, E = dur::Eighth, W = dur::Whole;

SongSpec Song(std::string title, std::vector<StaffSpec> staffs) {
    SongSpec song;
    song.info.title = std::move(title);
    song.staffs = std::move(staffs);
    return song;
}

std::vector<Item> Bars(int bars, int from) {
    std::vector<Item> items;
    for (int b = 0; b < bars; ++b) {
        for (int n = 0; n < 4; ++n) items.push_back(Note(from - (b + n) % 7, Q));
        items.push_back(Bar());
    }
    return items;
}

ControllerSpec Sweep(int controller, int step, std::vector<std::pair<int, int>> points) {
    ControllerSpec c = Controller(controller);
    c.sweepStyle = 1;
    c.sweepStep = step;
    for (size_t i = 0; i < points.size(); ++i) {
        c.point(static_cast<int>(i), points[i].first, points[i].second);
    }
    return c;
}

}  // namespace

SongSpec FillingSong() {
    std::vector<Item> items = {Bar(bar::LocalRepeatOpen)};
    for (int i = 0; i < 140; ++i) {
        items.push_back(
            Chord(dur::Sixteenth, {-8, -7, -6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7}));
    }
    items.push_back(Bar(bar::LocalRepeatClose, 255));
    return Song("Full", {MakeStaff("Full", items)});
}

std::vector<NamedSong> ExportSongs(bool withFull) {
    std::vector<NamedSong> songs;
    for (int revision = 0; revision <= 16; ++revision) {
        songs.push_back({"rich-r" + std::to_string(revision), RichSong(revision)});
    }
    int n = 0;
    for (const SongSpec& song : FlowSongs(16))
        songs.push_back({"flow" + std::to_string(n++), song});

    // A muted staff that would play longest, with a tempo change on it.
    {
        StaffSpec loud = MakeStaff("Loud", Bars(2, 0));
        std::vector<Item> quiet = {Tempo(90)};
        for (const Item& item : Bars(4, 2)) quiet.push_back(item);
        StaffSpec muted = MakeStaff("Muted", quiet);
        muted.muted = 1;
        muted.channel = 1;
        muted.patch = 20;
        songs.push_back({"muted", Song("Muted", {loud, muted})});
    }
    // Grace notes, ties across bar lines, dotted and triplet notes.
    songs.push_back(
        {"grace-ties",
         Song("Grace and ties",
              {MakeStaff("Solo", {CommonTime(), Note(1, E, attr::Grace), Note(0, H, attr::TieOut),
                                  Note(0, H, attr::TieIn), Bar(), Note(-1, Q, attr::Grace),
                                  Note(2, Q, attr::Grace), Note(-2, H, attr::Dotted | attr::TieOut),
                                  Bar(), Note(-2, Q, attr::TieIn), Note(0, E).triplet(grp::First),
                                  Note(1, E).triplet(grp::Middle), Note(2, E).triplet(grp::End),
                                  Note(3, H), Bar()})})});
    // Ramps and sweeps: tempo, volume and pitch bend, dynamics ramps, a fermata and a breath.
    {
        std::vector<Item> items = {
            Tempo(100), Dynamic(dyn::p), Sweep(4, 512, {{0, 0}, {2, 16383}, {2, 8192}}),
            Sweep(1, 3, {{0, 30}, {4, 120}}), DynamicVariation(dvar::Crescendo)};
        for (const Item& item : Bars(2, 0)) items.push_back(item);
        items.push_back(TempoVariation(tvar::Rallentando));
        for (const Item& item : Bars(2, 1)) items.push_back(item);
        items.push_back(Sweep(0, 5, {{0, 60}, {3, 150}}));
        items.push_back(Fermata(8));
        items.push_back(Note(0, W));
        items.push_back(BreathMark(4));
        items.push_back(DynamicVariation(dvar::Diminuendo));
        for (const Item& item : Bars(2, -1)) items.push_back(item);
        songs.push_back({"ramps", Song("Ramps and sweeps", {MakeStaff("Sweeps", items)})});
    }
    // Three staffs on one channel and device, playing the same notes at the same ticks.
    {
        std::vector<StaffSpec> staffs;
        for (int s = 0; s < 3; ++s) {
            StaffSpec staff = MakeStaff("Unison " + std::to_string(s + 1), Bars(3, s));
            staff.channel = 3;
            staff.patch = 10 + s;
            staffs.push_back(staff);
        }
        songs.push_back({"one-channel", Song("One channel", staffs)});
    }
    // Output devices other than 0, and program changes along the way.
    {
        StaffSpec a = MakeStaff(
            "Device 1", {Instrument(30), Note(0, H), Instrument(31, 2, 1), Note(1, H), Bar()});
        a.device = 1;
        StaffSpec b = MakeStaff("Device 5", Bars(1, 3));
        b.device = 5;
        b.channel = 9;
        songs.push_back({"devices", Song("Devices", {a, b})});
    }
    // Signature changes, staffs that state the same signatures, and one in another key.
    {
        std::vector<Item> upper = {Key(3), Time(3, 4)};
        for (int b = 0; b < 2; ++b) {
            for (const Item& item :
                 {Item(Note(0, Q)), Item(Note(1, Q)), Item(Note(2, Q)), Item(Bar())}) {
                upper.push_back(item);
            }
        }
        upper.push_back(Key(-4));
        upper.push_back(Time(6, 8));
        for (int i = 0; i < 6; ++i) upper.push_back(Note(i - 3, E));
        upper.push_back(Bar());
        std::vector<Item> lower = {
            Key(3),  Time(3, 4), Note(4, H, attr::Dotted), Bar(), Note(4, H, attr::Dotted), Bar(),
            Key(-4), Time(6, 8), Note(3, H, attr::Dotted), Bar()};
        StaffSpec other = MakeStaff("Transposed", {Key(5), Time(3, 4), Note(0, H, attr::Dotted)});
        other.channel = 2;
        songs.push_back({"signatures", Song("Signatures", {MakeStaff("Upper", upper),
                                                           MakeStaff("Lower", lower), other})});
    }
    // Nothing to play: no controllers at staff start, no items. The title and copyright lines
    // empty too, so the conductor track holds only the tempo.
    {
        StaffSpec silent = MakeStaff("", {});
        silent.volume = -1;
        silent.stereoPan = -1;
        StaffSpec rests = MakeStaff("Rests", {Rest(W), Rest(W), Bar()});
        rests.volume = -1;
        rests.stereoPan = -1;
        SongSpec empty = Song("", {silent, rests});
        empty.info.copyright1.clear();
        empty.info.copyright2.clear();
        songs.push_back({"empty", empty});
    }
    // Texts in windows-1252, a large staff count and a revision without tempo text.
    {
        SongSpec accents = Song("Chanson \xe9t\xe9 \x80 \x93", {MakeStaff("Fl\xfbte", Bars(1, 0))});
        accents.info.copyright1 = "\xa9 2024";
        songs.push_back({"windows-1252", accents});
    }
    songs.push_back({"large", LargeSong(24, 400)});
    if (withFull) songs.push_back({"fills-sequence", FillingSong()});
    return songs;
}

}  // namespace scq::test
