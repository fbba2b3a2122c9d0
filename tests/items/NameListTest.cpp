#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "items/NameList.h"

namespace scq {
namespace {

struct Lookup {
    int list;
    int ordinal;
    const char* expected;
};

TEST(NameListTest, LooksUpByListAndOrdinal) {
    const Lookup cases[] = {
        {kNamesPens, 0, "Printer Default"},
        {kNamesPens, 7, "Highlight 3"},
        {kNamesPens, 8, "***"},
        {kNamesClefs, 3, "Tenor Clef"},
        {kNamesClefs, 4, "***"},
        {kNamesClefs, -1, "***"},
        {kNamesFlowDirections, 9, "D.S. al Fine"},
        {kNamesAccidentals, 5, " "},
        {kNamesAccidentals, 6, "***"},
        {kNamesDynamics, 7, "Fortissimo (fff)"},
        {kNamesControllers, 13, "Effects (Reverb) Depth"},
        {kNamesControllersShort, 17, "phaser"},
        {kNamesControllersShort, 18, "***"},
        {kNamesTempoVariationGlyphs, 1, "y"},
        {kNamesPerformanceStyles, 22, "Volta Subito"},
        {kNamesPerformanceStylesShort, 23, "***"},
        {kNamesPlacement, 3, "at next note/bar"},
        {kNamesTextFonts, 11, "User 6"},
        {kNamesPedal, 1, "Pedal Released"},
        {kNameListCount, 0, "***"},
        {-1, 0, "***"},
        {kNamesPedal, 1 << 30, "***"},
    };
    for (const Lookup& c : cases) {
        EXPECT_STREQ(NameList::name(c.list, c.ordinal), c.expected)
            << "list " << c.list << " ordinal " << c.ordinal;
    }
    EXPECT_STREQ(NameList::firstName(kNamesSweepStyles), "Absolute");
    EXPECT_STREQ(NameList::firstName(kNamesAlignmentRules), "Start of Accidental/Note");
    EXPECT_STREQ(NameList::firstName(99), "***");
}

TEST(NameListTest, ListSizes) {
    const int sizes[kNameListCount] = {8, 4, 4,  4,  4, 8, 5, 10, 7,  7,  3, 3, 3,
                                       4, 2, 6,  6,  8, 8, 5, 5,  18, 18, 2, 3, 6,
                                       9, 2, 23, 23, 3, 3, 4, 4,  12, 2,  3, 2, 2};
    for (int list = 0; list < kNameListCount; ++list) {
        EXPECT_EQ(NameList::size(list), sizes[list]) << "list " << list;
        // The last name is found, the one after it is not.
        EXPECT_STRNE(NameList::name(list, sizes[list] - 1), "***") << "list " << list;
        EXPECT_STREQ(NameList::name(list, sizes[list]), "***") << "list " << list;
    }
    EXPECT_EQ(NameList::size(kNameListCount), 0);
}

TEST(NameListTest, PiuHoldsTheSingleByteF9) {
    for (int list : {kNamesPerformanceStyles, kNamesPerformanceStylesShort}) {
        const char* name = NameList::name(list, 12);
        ASSERT_EQ(std::strlen(name), 9u);
        EXPECT_EQ(static_cast<unsigned char>(name[2]), 0xF9);
        EXPECT_STREQ(name + 3, " mosso");
    }
}

TEST(NameListTest, OldTempoWords) {
    EXPECT_STREQ(oldTempoWord(0), "Largo");
    EXPECT_STREQ(oldTempoWord(5), "Andante");
    EXPECT_STREQ(oldTempoWord(11), "Prestissimo");
    EXPECT_STREQ(oldTempoWord(12), "Largo");
    EXPECT_STREQ(oldTempoWord(-1), "Largo");
}

}  // namespace
}  // namespace scq
