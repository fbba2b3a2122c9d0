#pragma once

namespace scq {

// The display-name lists, in table order. The ordinal of a name is its place in its list.
enum NameListId : int {
    kNamesPens = 0,
    kNamesStaffStyles = 1,
    kNamesColour = 2,
    kNamesVisibility = 3,
    kNamesClefs = 4,
    kNamesBarLineStyles = 5,
    kNamesStaffEndingBars = 6,
    kNamesFlowDirections = 7,
    kNamesNoteLetters = 8,
    kNamesBaseDurations = 9,
    kNamesStemDirections = 10,
    kNamesDefaultAlwaysNever = 11,
    kNamesGroupKinds = 12,
    kNamesGroupPositions = 13,
    kNamesTieDirections = 14,
    kNamesNoteAttributes = 15,
    kNamesAccidentals = 16,
    kNamesDynamics = 17,
    kNamesDynamicsShort = 18,
    kNamesDynamicVariations = 19,
    kNamesDynamicVariationsShort = 20,
    kNamesControllers = 21,
    kNamesControllersShort = 22,
    kNamesSweepStyles = 23,
    kNamesSignatureStyles = 24,
    kNamesTempoBases = 25,
    kNamesTempoVariations = 26,
    kNamesTempoVariationGlyphs = 27,
    kNamesPerformanceStyles = 28,
    kNamesPerformanceStylesShort = 29,
    kNamesJustification = 30,
    kNamesOctaveShifts = 31,
    kNamesPlacement = 32,
    kNamesFrameStyles = 33,
    kNamesTextFonts = 34,
    kNamesBottomTop = 35,
    kNamesUpDownDefault = 36,
    kNamesAlignmentRules = 37,
    kNamesPedal = 38,
    kNameListCount = 39,
};

// The table of display names. Text is Windows-1252 bytes ("Pi\xF9 mosso").
namespace NameList {

// The name at `ordinal` in `list`; "***" past the end of the list, for a negative ordinal and
// for a list outside the table.
const char* name(int list, int ordinal);

// The first name of `list` ("***" for a list outside the table).
const char* firstName(int list);

// The number of names in `list` (0 for a list outside the table).
int size(int list);

}  // namespace NameList

// The twelve tempo words of older files, "Largo" to "Prestissimo"; an index outside the list
// gives "Largo".
const char* oldTempoWord(int index);

}  // namespace scq
