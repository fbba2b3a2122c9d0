// Writes the example songs of the repository into a directory:
//
//     mksongs <directory>
//
// empty.scq                 an empty file (loads as a new song)
// sonatina.scq              revision 16, three staffs, most kinds of items, lyrics, a repeat
// sonatina-compressed.scq   the same song in the compressed container
// old-revision.scq          revision 7, three staffs in the old record layouts
// damaged-ascii.scq         a small song after a text-mode transfer (every LF became CR LF)

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/SongBuilder.h"

using namespace scq::test;

namespace {

// Staff positions: treble B4 = 0, bass D3 = 0; negative values lie above the middle line.
constexpr int Q = dur::Quarter, H = dur::Half, E = dur::Eighth;

StaffSpec Voice() {
    StaffSpec s = MakeStaff("Voice", {
                                         Clef(clef::Treble),
                                         Key(1),
                                         Time(3, 4),
                                         Tempo(96, tbase::Quarter, "Andante"),
                                         Dynamic(dyn::mp),
                                         Text("dolce"),
                                         // bars 1 to 4, played twice
                                         Note(2, Q),
                                         Note(0, Q),
                                         Note(-2, Q),
                                         Bar(),
                                         Note(-3, H),
                                         Note(-2, Q),
                                         Bar(),
                                         Note(-1, Q),
                                         Note(0, Q),
                                         Note(1, Q),
                                         Bar(),
                                         Note(0, H, attr::Dotted),
                                         Bar(bar::LocalRepeatClose, 2),
                                         // bar 5: crescendo and accelerando towards the Allegro
                                         DynamicVariation(dvar::Crescendo),
                                         TempoVariation(tvar::Accelerando),
                                         Note(-2, Q),
                                         Note(-3, E).beam(grp::First),
                                         Note(-4, E).beam(grp::End),
                                         Note(-5, Q, attr::Accented),
                                         Bar(),
                                         Tempo(120, tbase::Quarter, "Allegro"),
                                         Dynamic(dyn::f),
                                         Note(-4, Q, attr::SlurOut),
                                         Note(-3, Q, attr::SlurIn | attr::SlurOut),
                                         Note(-2, Q, attr::SlurIn),
                                         Bar(),
                                         DynamicVariation(dvar::Diminuendo),
                                         Note(-1, Q, attr::Staccato),
                                         Note(1, Q, attr::Staccato),
                                         Note(3, Q, 0, acc::Natural),
                                         Bar(),
                                         Fermata(8),
                                         Note(2, H, attr::Dotted),
                                     });
    s.groupName = "Voice";
    s.patch = 53;  // choir aahs
    s.channel = 0;
    s.lyrics = Lyrics({"Spring is come, the birds a-wake, the sun is warm a-gain,",
                       "Sing we now, the fields are green, and gone the win-ter rain."});
    s.lyrics->optionsWord = 1;
    return s;
}

StaffSpec RightHand() {
    StaffSpec s = MakeStaff("Right Hand", {
                                              Clef(clef::Treble),
                                              Key(1),
                                              Time(3, 4),
                                              Dynamic(dyn::p),
                                              PerformanceStyle(7),  // Legato
                                              Rest(Q),
                                              Chord(Q, {2, 0, -2}),
                                              Chord(Q, {2, 0, -2}),
                                              Bar(),
                                              Rest(Q),
                                              Chord(H, {4, 2, -1}),
                                              Bar(),
                                              Rest(Q),
                                              Chord(Q, {3, 1, -1}),
                                              Chord(Q, {3, 1, -1}),
                                              Bar(),
                                              Chord(H, {2, 0, -2}, attr::Dotted),
                                              Bar(bar::LocalRepeatClose, 2),
                                              RestChord(Q, Chord(Q, {2, 0})),
                                              Chord(Q, {2, 0, -2}),
                                              Chord(Q, {2, 0, -2}),
                                              Bar(),
                                              Chord(Q, {1, -2, -4}),
                                              Chord(Q, {1, -2, -4}),
                                              Chord(Q, {1, -2, -4}),
                                              Bar(),
                                              Chord(Q, {4, 2, -1}),
                                              Chord(Q, {3, 1, -1}),
                                              Chord(Q, {3, 1, -1}, 0),
                                              Bar(),
                                              Chord(H, {2, 0, -2}, attr::Dotted),
                                          });
    s.groupName = "Piano";
    s.staffStyle = 1;
    s.patch = 1;
    s.channel = 1;
    return s;
}

StaffSpec LeftHand() {
    StaffSpec s = MakeStaff("Left Hand", {
                                             Clef(clef::Bass),
                                             Key(1),
                                             Time(3, 4),
                                             Dynamic(dyn::p),
                                             Note(4, H, attr::Dotted),
                                             Bar(),
                                             Note(1, H, attr::Dotted),
                                             Bar(),
                                             Note(0, H, attr::Dotted),
                                             Bar(),
                                             Note(4, Q),
                                             Rest(Q),
                                             Rest(Q),
                                             Bar(bar::LocalRepeatClose, 2),
                                             Pedal(true),
                                             Note(-3, H, attr::Dotted),
                                             Bar(),
                                             Note(0, H, attr::Dotted),
                                             Pedal(false),
                                             Bar(),
                                             Note(1, Q),
                                             Note(0, Q),
                                             Note(-2, Q),
                                             Bar(),
                                             Note(4, H, attr::Dotted),
                                         });
    s.groupName = "Piano";
    s.staffStyle = 2;
    s.patch = 1;
    s.channel = 1;
    return s;
}

SongSpec Sonatina() {
    SongSpec song;
    song.info.title = "Sonatina in G";
    song.info.author = "Example Composer";
    song.info.comments =
        "A short sonatina for voice and piano.\n"
        "The first four bars are repeated; the song ends with a fermata.";
    song.info.barNumberStyle = 1;
    song.info.staffSelection = StaffSelection({0, 1, 2});
    song.staffs = {Voice(), RightHand(), LeftHand()};
    return song;
}

SongSpec OldRevision() {
    SongSpec song;
    song.revision = 7;
    song.header.productVersion = 0x0105;  // 1.5
    song.info.title = "Old Minuet";
    song.info.author = "Example Composer";
    song.info.comments = "Saved by an old editor version (format revision 7).";

    StaffSpec melody = MakeStaff("Melody", {
                                               Clef(clef::Treble),
                                               Key(-1),
                                               Time(3, 4),
                                               Tempo(100, tbase::Quarter, "Moderato"),
                                               Dynamic(dyn::mf),
                                               Text("grazioso", 1),
                                               Note(-1, Q, attr::SlurOut),
                                               Note(0, Q, attr::SlurIn),
                                               Note(1, Q),
                                               Bar(),
                                               Note(2, H, attr::Dotted),
                                               Bar(),
                                               Note(-3, E).beam(grp::First),
                                               Note(-2, E).beam(grp::End),
                                               Note(-1, Q, attr::Tenuto),
                                               Note(0, Q),
                                               Bar(),
                                               DynamicVariation(dvar::Decrescendo),
                                               Note(-1, H, attr::Dotted),
                                           });
    melody.groupName = "Ensemble";
    melody.lyrics = Lyrics({"Dance a-long the old mi-nu-et"});

    StaffSpec harmony = MakeStaff("Harmony", {
                                                 Clef(clef::Alto),
                                                 Key(-1),
                                                 Time(3, 4),
                                                 Rest(Q),
                                                 Chord(H, {1, -1}),
                                                 Bar(),
                                                 Chord(H, {2, 0}, attr::Dotted),
                                                 Bar(),
                                                 Rest(Q),
                                                 Chord(Q, {1, -1}),
                                                 Chord(Q, {1, -1}),
                                                 Bar(),
                                                 Chord(H, {2, 0}, attr::Dotted),
                                             });
    harmony.groupName = "Ensemble";
    harmony.channel = 1;

    StaffSpec bass = MakeStaff("Bass", {
                                           Clef(clef::Bass),
                                           Key(-1),
                                           Time(3, 4),
                                           Note(1, H, attr::Dotted),
                                           Bar(),
                                           Note(4, H, attr::Dotted),
                                           Bar(),
                                           Note(1, Q),
                                           Rest(Q),
                                           Note(0, Q),
                                           Bar(),
                                           Note(1, H, attr::Dotted),
                                       });
    bass.groupName = "Continuo";
    bass.channel = 2;

    song.staffs = {melody, harmony, bass};
    return song;
}

// A small song holding line feed bytes in binary fields: the default font size 10 of the first
// font entry and the staff's stored item count (8 items give the count 10). After the text-mode
// transfer the body is misread from the font table on and runs short (status 7).
SongSpec SmallSong() {
    SongSpec song;
    song.info.title = "Damaged in Transit";
    song.staffs = {MakeStaff("Melody", {Clef(clef::Treble), Key(0), CommonTime(), Note(0, Q),
                                        Note(1, Q), Note(2, Q), Note(3, Q), Bar()})};
    return song;
}

bool Write(const std::string& dir, const char* name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    if (!WriteFile(path, bytes)) {
        std::fprintf(stderr, "mksongs: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksongs <directory>\n");
        return 2;
    }
    const std::string dir = argv[1];

    const Bytes small = BuildSong(SmallSong());
    if (std::count(small.begin(), small.end(), uint8_t{'\n'}) == 0) {
        std::fprintf(stderr, "mksongs: the small song holds no line feed\n");
        return 1;
    }

    SongSpec sonatina = Sonatina();
    const Bytes plain = BuildSong(sonatina);
    sonatina.compressed = true;
    const Bytes compressed = BuildSong(sonatina);

    bool ok = Write(dir, "empty.scq", {});
    ok = Write(dir, "sonatina.scq", plain) && ok;
    ok = Write(dir, "sonatina-compressed.scq", compressed) && ok;
    ok = Write(dir, "old-revision.scq", BuildSong(OldRevision())) && ok;
    ok = Write(dir, "damaged-ascii.scq", ToTextTransfer(small)) && ok;
    return ok ? 0 : 1;
}
