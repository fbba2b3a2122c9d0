#include "items/NameList.h"

namespace scq {
namespace {

// Text is Windows-1252: "\xF9" is the single byte of the accented u (the space after it ends
// the escape). Each list ends with an empty string; a lookup walks forward until it reaches the
// ordinal or the end.
const char* const kPens[] = {"Printer Default", "Active Staff",   "Inactive Staff",
                             "Hidden Notation", "Play Highlight", "Highlight 1",
                             "Highlight 2",     "Highlight 3",    ""};
const char* const kStaffStyles[] = {"Standard", "Upper Grand Staff", "Lower Grand Staff",
                                    "Orchestral", ""};
const char* const kColour[] = {"Default", "Highlight 1", "Highlight 2", "Highlight 3", ""};
const char* const kVisibility[] = {"Default", "Always", "On Top Staff", "Never", ""};
const char* const kClefs[] = {"Treble Clef", "Bass Clef", "Alto Clef", "Tenor Clef", ""};
const char* const kBarLineStyles[] = {"Single",
                                      "Double",
                                      "Section Open",
                                      "Section Close",
                                      "Local Repeat Open",
                                      "Local Repeat Close",
                                      "Master Repeat Open",
                                      "Master Repeat Close",
                                      ""};
const char* const kStaffEndingBars[] = {"Section Close", "Master Repeat Close", "Single",
                                        "Double",        "Open (hidden)",       ""};
const char* const kFlowDirections[] = {
    "Coda",         "Segno",     "Fine",         "To Coda",      "Da capo", "D.C. al Coda",
    "D.C. al Fine", "Dal Segno", "D.S. al Coda", "D.S. al Fine", ""};
const char* const kNoteLetters[] = {"A", "B", "C", "D", "E", "F", "G", ""};
const char* const kBaseDurations[] = {"Whole",     "Half",         "Quarter",     "Eighth",
                                      "Sixteenth", "Thirtysecond", "Sixtyfourth", ""};
const char* const kStemDirections[] = {"Default", "Up", "Down", ""};
const char* const kDefaultAlwaysNever[] = {"Default", "Always", "Never", ""};
const char* const kGroupKinds[] = {"Beam", "Triplet", "Slur1", ""};
const char* const kGroupPositions[] = {"Not Present", "First", "Middle", "End", ""};
const char* const kTieDirections[] = {"Upward Tie", "Downward Tie", ""};
const char* const kNoteAttributes[] = {"Accented", "Dotted",    "Staccato", "Tie Out",
                                       "Tie In",   "Chord Mem", ""};
const char* const kAccidentals[] = {"#", "b", "nat", "X", "bb", " ", ""};
const char* const kDynamics[] = {"Pianissimo (ppp)", "Pianissimo",       "Piano",
                                 "Mezzo piano",      "Mezzo forte",      "Forte",
                                 "Fortissimo",       "Fortissimo (fff)", ""};
const char* const kDynamicsShort[] = {"ppp", "pp", "p", "mp", "mf", "f", "ff", "fff", ""};
const char* const kDynamicVariations[] = {"Crescendo",   "Decrescendo", "Diminuendo",
                                          "Rinforzando", "Sforzando",   ""};
const char* const kDynamicVariationsShort[] = {"cresc.", "decresc.", "dim.", "rfz", "sfz", ""};
const char* const kControllers[] = {"Tempo",
                                    "Volume",
                                    "Stereo Pan",
                                    "Breath Control",
                                    "Pitch Bend",
                                    "Modulation Wheel",
                                    "Foot Controller",
                                    "Portamento Time",
                                    "Data Entry MSB",
                                    "Balance",
                                    "Expression",
                                    "Effect Controller 1",
                                    "Effect Controller 2",
                                    "Effects (Reverb) Depth",
                                    "Tremolo Depth",
                                    "Chorus Depth",
                                    "Celeste Detune Depth",
                                    "Phaser Depth",
                                    ""};
const char* const kControllersShort[] = {"tempo",     "vol",        "pan",
                                         "bc",        "pitch",      "mod-wheel",
                                         "foot-ctrl", "portamento", "data-entry-msb",
                                         "bal",       "expression", "effect1",
                                         "effect2",   "reverb",     "tremolo",
                                         "chorus",    "detune",     "phaser",
                                         ""};
const char* const kSweepStyles[] = {"Absolute", "Linear Sweep", ""};
const char* const kSignatureStyles[] = {"Standard Signature", "Common Time", "Alla Breve", ""};
const char* const kTempoBases[] = {"Eighth", "Dotted Eighth", "Quarter", "Dotted Quarter",
                                   "Half",   "Dotted Half",   ""};
const char* const kTempoVariations[] = {
    "Breath Mark", "Fermata",  "Accelerando", "Allargando", "Rallentando",
    "Ritardando",  "Ritenuto", "Rubato",      "Stringendo", ""};
const char* const kTempoVariationGlyphs[] = {"I", "y", ""};
const char* const kPerformanceStyles[] = {
    "Ad Libitum",   "Animato",  "Cantabile", "Con brio", "Dolce",        "Espressivo",
    "Grazioso",     "Legato",   "Maestoso",  "Marcato",  "Meno mosso",   "Poco a poco",
    "Pi\xF9 mosso", "Semplice", "Simile",    "Solo",     "Sostenuto",    "Sotto Voce",
    "Staccato",     "Subito",   "Tenuto",    "Tutti",    "Volta Subito", ""};
const char* const kPerformanceStylesShort[] = {
    "ad lib.",      "animato",  "cantabile", "con brio", "dolce",        "espress.",
    "grazioso",     "legato",   "maestoso",  "marc.",    "meno mosso",   "poco a poco",
    "pi\xF9 mosso", "semplice", "simile",    "solo",     "sostenuto",    "sotto voce",
    "staccato",     "subito",   "tenuto",    "tutti",    "volta subito", ""};
const char* const kJustification[] = {"Left", "Center", "Right", ""};
const char* const kOctaveShifts[] = {"None", "Octave Up", "Octave Down", ""};
const char* const kPlacement[] = {"best fit", "before other staff signatures",
                                  "after other staff signatures", "at next note/bar", ""};
const char* const kFrameStyles[] = {"None", "Plain", "Circled", "Boxed", ""};
const char* const kTextFonts[] = {"Staff Italic",
                                  "Staff Bold",
                                  "Staff Lyric",
                                  "Page Title Text",
                                  "Page Text",
                                  "Page Small Text",
                                  "User 1",
                                  "User 2",
                                  "User 3",
                                  "User 4",
                                  "User 5",
                                  "User 6",
                                  ""};
const char* const kBottomTop[] = {"Bottom", "Top", ""};
const char* const kUpDownDefault[] = {"Default", "Upward", "Downward", ""};
const char* const kAlignmentRules[] = {"Start of Accidental/Note", "Standard Rules", ""};
const char* const kPedal[] = {"Pedal Down", "Pedal Released", ""};

const char* const* const kTable[kNameListCount] = {
    kPens,
    kStaffStyles,
    kColour,
    kVisibility,
    kClefs,
    kBarLineStyles,
    kStaffEndingBars,
    kFlowDirections,
    kNoteLetters,
    kBaseDurations,
    kStemDirections,
    kDefaultAlwaysNever,
    kGroupKinds,
    kGroupPositions,
    kTieDirections,
    kNoteAttributes,
    kAccidentals,
    kDynamics,
    kDynamicsShort,
    kDynamicVariations,
    kDynamicVariationsShort,
    kControllers,
    kControllersShort,
    kSweepStyles,
    kSignatureStyles,
    kTempoBases,
    kTempoVariations,
    kTempoVariationGlyphs,
    kPerformanceStyles,
    kPerformanceStylesShort,
    kJustification,
    kOctaveShifts,
    kPlacement,
    kFrameStyles,
    kTextFonts,
    kBottomTop,
    kUpDownDefault,
    kAlignmentRules,
    kPedal,
};

const char* const kOldTempoWords[] = {"Largo",    "Larghetto", "Adagio",    "Lento",
                                      "Moderato", "Andante",   "Andantino", "Allegretto",
                                      "Allegro",  "Vivace",    "Presto",    "Prestissimo"};

constexpr const char* kPastTheEnd = "***";

}  // namespace

namespace NameList {

const char* name(int list, int ordinal) {
    if (list < 0 || list >= kNameListCount || ordinal < 0) return kPastTheEnd;
    const char* const* names = kTable[list];
    for (int i = 0; i < ordinal; ++i) {
        if (names[i][0] == 0) return kPastTheEnd;
    }
    return names[ordinal][0] != 0 ? names[ordinal] : kPastTheEnd;
}

const char* firstName(int list) {
    return name(list, 0);
}

int size(int list) {
    if (list < 0 || list >= kNameListCount) return 0;
    int n = 0;
    while (kTable[list][n][0] != 0) ++n;
    return n;
}

}  // namespace NameList

const char* oldTempoWord(int index) {
    constexpr int kCount = static_cast<int>(sizeof kOldTempoWords / sizeof kOldTempoWords[0]);
    return index >= 0 && index < kCount ? kOldTempoWords[index] : kOldTempoWords[0];
}

}  // namespace scq
