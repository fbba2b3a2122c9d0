#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "items/BarsAndFlow.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/SongReader.h"
#include "song/Staff.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

constexpr int kSentinel = 0x1234;

// ---- Song information bytes --------------------------------------------------------------

struct InfoBytes {
    std::string title = "Title", author = "Author", copyright1 = "C1", copyright2 = "C2",
                comments = "Comments";
    std::string options = "NN_";
    std::string margins = "1.25 2.5 0.75 1";
    int barNumberStyle = 2, firstBarNumber = 5;
    int pageOptionByte1 = 0xFD, pageOptionWord1 = 7;
    std::vector<int> selection = {0x05, 0x80};  // first bytes; the rest 0
    int layering = 0x03;
    int baseSize = 20;  // the font base size (revision 7 on) or the old base-size word
    int option4Byte = 0x02, pageOptionByte2 = 0x80, pageOptionWord2 = -300;
};

void WriteInfo(MemoryStream& m, int revision, const InfoBytes& b) {
    for (const std::string* t : {&b.title, &b.author, &b.copyright1, &b.copyright2, &b.comments})
        m.WriteString(t->c_str());
    m.WriteString(b.options.c_str());
    m.WriteString("F2");
    if (revision >= 4) {
        m.WriteInt16(b.barNumberStyle);
        m.WriteInt16(b.firstBarNumber);
    }
    if (revision < 6) return;
    m.WriteString(b.margins.c_str());
    m.WriteByte(b.pageOptionByte1);
    m.WriteInt16(b.pageOptionWord1);
    if (revision >= 8) {
        for (size_t i = 0; i < 32; ++i) m.WriteByte(i < b.selection.size() ? b.selection[i] : 0);
        m.WriteByte(b.layering);
    }
    m.WriteInt16(b.baseSize);
    if (revision >= 7) {
        const int entries = revision >= 15 ? 12 : 10;
        for (int i = 0; i < entries; ++i) {
            m.WriteString(("Font" + std::to_string(i)).c_str());
            m.WriteByte(0xFC | (i & 3));  // only bits 0 and 1 are kept
            m.WriteInt16(i == 0 ? 0xFFFF : 30 + i);
            m.WriteByte(i);
        }
    }
    m.WriteByte(b.option4Byte);
    m.WriteByte(b.pageOptionByte2);
    m.WriteInt16(b.pageOptionWord2);
}

// Reads the information block and checks that the stream is left just before the sentinel.
std::unique_ptr<Song> ReadInfo(int revision, const InfoBytes& b) {
    MemoryStream m;
    WriteInfo(m, revision, b);
    m.WriteInt16(kSentinel);
    m.Seek(0);
    auto song = std::make_unique<Song>();
    ReadSongInformation(*song, revision, m);
    EXPECT_EQ(m.ReadInt16(), kSentinel) << "revision " << revision;
    EXPECT_FALSE(m.HasError());
    return song;
}

struct InfoCase {
    int revision;
    bool barNumbers, pageSetup, fontTable, selection;
    int fontEntries;  // entries read from the table
    int pageWord1;    // pageOptionWord1 after reading 7
};

class SongInformationTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(SongInformationTest, ReadsTheFieldsOfItsRevision) {
    const InfoCase& c = GetParam();
    InfoBytes b;
    b.baseSize = c.fontTable ? 20 : 12;
    auto song = ReadInfo(c.revision, b);
    EXPECT_STREQ(song->title, "Title");
    EXPECT_STREQ(song->author, "Author");
    EXPECT_STREQ(song->copyright1, "C1");
    EXPECT_STREQ(song->copyright2, "C2");
    EXPECT_STREQ(song->comments, "Comments");
    EXPECT_EQ(song->barNumberStyle, c.barNumbers ? 2 : 0);
    EXPECT_EQ(song->firstBarNumber, c.barNumbers ? 5 : 1);

    // "NN_" clears options 5 and 6 only from revision 6 on.
    EXPECT_EQ(song->flag(kFlagSongOption5), !c.pageSetup);
    EXPECT_EQ(song->flag(kFlagSongOption6), !c.pageSetup);
    // Option 4 comes from bit 0 of a byte holding 2, so it clears; older files keep it set.
    EXPECT_EQ(song->flag(kFlagSongOption4), !c.pageSetup);
    EXPECT_TRUE(song->compressed());
    EXPECT_EQ(song->layeringEnabled(), c.selection);

    const std::array<float, 4> margins = c.pageSetup
                                             ? std::array<float, 4>{1.25f, 2.5f, 0.75f, 1.0f}
                                             : std::array<float, 4>{0.5f, 0.5f, 0.5f, 0.5f};
    EXPECT_EQ(song->pageMargins, margins);
    EXPECT_EQ(song->pageOptionByte1, c.pageSetup ? -3 : 0);
    EXPECT_EQ(song->pageOptionWord1, c.pageSetup ? c.pageWord1 : 8);
    EXPECT_EQ(song->pageOptionByte2, c.pageSetup ? -128 : 0);
    EXPECT_EQ(song->pageOptionWord2, c.pageSetup ? -300 : 0);

    EXPECT_EQ(song->staffSelection.bytes[0], c.selection ? 0x05 : 0x01);
    EXPECT_EQ(song->staffSelection.bytes[1], c.selection ? 0x80 : 0x00);

    const FontTable& f = *song->fonts;
    if (c.fontTable) {
        EXPECT_EQ(f.baseSize, 20);
        for (int i = 0; i < 12; ++i) {
            const FontEntry& e = f.entries[i];
            if (i < c.fontEntries) {
                EXPECT_EQ(std::string(e.name), "Font" + std::to_string(i));
                EXPECT_EQ(e.style, i & 3);
                EXPECT_EQ(e.size, i == 0 ? 65535 : 30 + i);
                EXPECT_EQ(e.charset, i);
            } else {  // the defaults of base size 16, made with the song
                EXPECT_STREQ(e.name, "Times New Roman");
                EXPECT_EQ(e.size, 8);
                EXPECT_EQ(e.style, 0);
            }
        }
    } else {
        // Fonts reset from the old base-size word 12 from revision 6 on: 12 * 8 / 5 = 19.2.
        const int base = c.pageSetup ? 19 : 16;
        EXPECT_EQ(f.baseSize, base);
        EXPECT_EQ(f.entries[1].size, base / 2);
        EXPECT_STREQ(f.entries[0].name, "Times New Roman");
    }
}

INSTANTIATE_TEST_SUITE_P(Revisions, SongInformationTest,
                         ::testing::Values(InfoCase{3, false, false, false, false, 0, 8},
                                           InfoCase{5, true, false, false, false, 0, 8},
                                           InfoCase{6, true, true, false, false, 0, 6},
                                           InfoCase{7, true, true, true, false, 10, 6},
                                           InfoCase{8, true, true, true, true, 10, 6},
                                           InfoCase{14, true, true, true, true, 10, 6},
                                           InfoCase{15, true, true, true, true, 12, 7},
                                           InfoCase{16, true, true, true, true, 12, 7}),
                         [](const auto& info) {
                             return "r" + std::to_string(info.param.revision);
                         });

TEST(SongInformation, LongTitleIsCutAndNextFieldStaysAligned) {
    InfoBytes b;
    b.title = std::string(70, 'T');
    auto song = ReadInfo(16, b);
    EXPECT_EQ(std::string(song->title), std::string(63, 'T'));
    EXPECT_STREQ(song->author, "Author");
    b.title = std::string(63, 'U');
    EXPECT_EQ(std::string(ReadInfo(16, b)->title), b.title);
}

TEST(SongInformation, OptionStrings) {
    struct {
        int revision;
        const char* text;
        bool option5, option6;
    } cases[] = {{6, "NY_", false, true}, {6, "", true, true},   {6, "N", false, true},
                 {6, "YN", true, false},  {6, "nn", true, true}, {5, "NN_", true, true}};
    for (const auto& c : cases) {
        InfoBytes b;
        b.options = c.text;
        auto song = ReadInfo(c.revision, b);
        EXPECT_EQ(song->flag(kFlagSongOption5), c.option5) << c.text;
        EXPECT_EQ(song->flag(kFlagSongOption6), c.option6) << c.text;
    }
}

TEST(SongInformation, MarginsParsePartly) {
    struct {
        const char* text;
        std::array<float, 4> margins;
    } cases[] = {{"1.5 2.5", {1.5f, 2.5f, 0.5f, 0.5f}},
                 {"1 2 x 4", {1.0f, 2.0f, 0.5f, 0.5f}},
                 {"abc", {0.5f, 0.5f, 0.5f, 0.5f}},
                 {"", {0.5f, 0.5f, 0.5f, 0.5f}},
                 {"1,5 2", {1.0f, 0.5f, 0.5f, 0.5f}},  // the C locale: no decimal comma
                 {"0.10000000 0.20000000 0.30000000 0.40000000", {0.1f, 0.2f, 0.3f, 0.4f}}};
    for (const auto& c : cases) {
        InfoBytes b;
        b.margins = c.text;
        EXPECT_EQ(ReadInfo(6, b)->pageMargins, c.margins) << c.text;
    }
}

TEST(SongInformation, PageOptionWordRenumbering) {
    struct {
        int revision, stored, read;
    } cases[] = {{6, 7, 6}, {6, 5, 5}, {6, 6, 5}, {14, 8, 7}, {15, 7, 7}, {16, 6, 6}, {6, -9, -9}};
    for (const auto& c : cases) {
        InfoBytes b;
        b.pageOptionWord1 = c.stored;
        EXPECT_EQ(ReadInfo(c.revision, b)->pageOptionWord1, c.read)
            << c.revision << ":" << c.stored;
    }
}

TEST(SongInformation, OldBaseSizeWord) {
    struct {
        int word, base, italic;
    } cases[] = {{10, 16, 10}, {12, 19, 12}, {13, 21, 13}, {-13, -21, -13}, {0, 0, 0}};
    for (const auto& c : cases) {
        InfoBytes b;
        b.baseSize = c.word;
        auto song = ReadInfo(6, b);
        EXPECT_EQ(song->fonts->baseSize, c.base) << c.word;
        EXPECT_EQ(song->fonts->entries[0].size, c.italic) << c.word;  // 5 * n / 8
        EXPECT_EQ(song->fonts->entries[6].size, c.base / 2) << c.word;
    }
}

// ---- Staff records -----------------------------------------------------------------------

struct StaffBytes {
    std::string name = "Violin", group = "Strings";
    int endingBar = 0;
    int muted = 0, channel = 3, device = 1, bankSelect = 1, bank = 130, patch = 41, style = 2;
    int upper = -20, lower = 30, lineCount = 5, layer = 1;
    int transposition = -2, volume = 100, pan = 20, optionByte = 0xAB;
    bool lyrics = false;
    int lyricCount = 0, lyricOptions = 3, lyricWord = 9;
    std::vector<std::vector<int>> lyricLines;  // per line: n, usedLength, then the bytes
    int storedCount = -1;                      // -1: the items given plus two
    std::vector<uint32_t> endings;             // the items: one ending each
    bool rawItemsOnly = false;                 // write only `rawItems`, no bar lines
    std::vector<int> rawItems;                 // extra words appended after the endings
};

void WriteEnding(MemoryStream& m, int revision, uint32_t bits) {
    m.WriteInt16(kEndingItem);
    if (revision >= 10) m.WriteByte(0);
    m.WriteInt16(static_cast<int>(bits));
}

void WriteStaff(MemoryStream& m, int revision, const StaffBytes& b) {
    m.WriteString(b.name.c_str());
    m.WriteString(b.group.c_str());
    if (revision >= 9) m.WriteByte(b.endingBar);
    for (int v :
         {b.muted, b.channel, b.device, b.bankSelect, b.bank, b.patch, b.style, b.upper, b.lower})
        m.WriteInt16(v);
    if (revision >= 16) m.WriteByte(b.lineCount);
    if (revision >= 8) m.WriteInt16(b.layer);
    for (int v : {b.transposition, b.volume, b.pan}) m.WriteInt16(v);
    if (revision >= 10) m.WriteByte(b.optionByte);
    if (revision >= 4) m.WriteInt16(b.lyrics ? 1 : 0);
    if (b.lyrics) {
        m.WriteInt16(b.lyricCount);
        if (revision >= 8) {
            m.WriteInt16(b.lyricOptions);
            m.WriteInt16(b.lyricWord);
        }
        for (const auto& line : b.lyricLines) {
            for (size_t i = 0; i < line.size(); ++i) {
                if (i < 2) {
                    m.WriteInt16(line[i]);
                } else {
                    m.WriteByte(line[i]);
                }
            }
        }
    }
    m.WriteInt16(0);
    m.WriteInt16(0);
    const int count = b.storedCount >= -32768 && b.storedCount != -1
                          ? b.storedCount
                          : static_cast<int>(b.endings.size()) + 2;
    m.WriteInt16(count);
    const bool storesBars = revision <= 8;
    if (storesBars) {  // the stored opening bar line
        m.WriteInt16(kBarLineItem);
        m.WriteInt16(0x0101);
    }
    for (uint32_t e : b.endings) WriteEnding(m, revision, e);
    for (int w : b.rawItems) m.WriteInt16(w);
    if (storesBars) {  // the stored closing bar line
        m.WriteInt16(kBarLineItem);
        m.WriteInt16(0x0103);
    }
}

// Reads one staff record followed by a sentinel.
std::unique_ptr<Staff> ReadOneStaff(int revision, const StaffBytes& b, bool expectAligned = true,
                                    LogSink* sink = nullptr) {
    MemoryStream m;
    WriteStaff(m, revision, b);
    m.WriteInt16(kSentinel);
    m.Seek(0);
    auto staff = std::make_unique<Staff>(Staff::Unfilled{});
    ReadStaff(*staff, revision, m, sink);
    if (expectAligned) {
        EXPECT_FALSE(m.HasError());
        EXPECT_EQ(m.ReadInt16(), kSentinel) << "revision " << revision;
    }
    return staff;
}

std::vector<uint32_t> Endings(const Staff& staff) {
    std::vector<uint32_t> out;
    for (int i = 1; i < staff.lastItemIndex(); ++i) {
        auto* e = dynamic_cast<EndingItem*>(staff.itemAt(i));
        out.push_back(e ? e->endings : 0xDEAD);
    }
    return out;
}

void ExpectBarLines(const Staff& staff, unsigned closingStyle = 3, unsigned visibility = 0) {
    ASSERT_GE(staff.itemCount(), 2);
    auto* first = dynamic_cast<BarLineItem*>(staff.itemAt(0));
    auto* last = dynamic_cast<BarLineItem*>(staff.lastItem());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(first->barStyle, 0u);
    EXPECT_EQ(first->repeatCount, 1u);
    EXPECT_EQ(last->barStyle, closingStyle);
    EXPECT_EQ(last->visibility, visibility);
    EXPECT_EQ(last->repeatCount, 1u);
}

TEST(StaffRecord, PropertiesAtRevision16) {
    StaffBytes b;
    b.endingBar = 4;
    auto staff = ReadOneStaff(16, b);
    EXPECT_STREQ(staff->staffName, "Violin");
    EXPECT_STREQ(staff->groupName, "Strings");
    EXPECT_EQ(staff->endingBar, 4);
    EXPECT_EQ(staff->channel, 3);
    EXPECT_EQ(staff->device, 1);
    EXPECT_EQ(staff->instrument, (InstrumentPatch{1, 130, 41}));
    EXPECT_EQ(staff->staffStyle, 2);
    EXPECT_EQ(staff->upperBoundary, -20);
    EXPECT_EQ(staff->lowerBoundary, 30);
    EXPECT_EQ(staff->layerWithNext, 1);
    EXPECT_EQ(staff->transposition, -2);
    EXPECT_EQ(staff->volume, 100);
    EXPECT_EQ(staff->stereoPan, 20);
    EXPECT_EQ(staff->staffOptionByte, 0xAB);
    EXPECT_EQ(staff->lyrics, nullptr);
    ExpectBarLines(*staff, 0, 3);  // "Open (hidden)"
}

TEST(StaffRecord, FieldsAbsentInOldRevisions) {
    StaffBytes b;
    b.endingBar = 1;
    auto r8 = ReadOneStaff(8, b);
    EXPECT_EQ(r8->endingBar, 0);
    EXPECT_EQ(r8->layerWithNext, 1);
    EXPECT_EQ(r8->staffOptionByte, 0);
    ExpectBarLines(*r8, 3);
    auto r9 = ReadOneStaff(9, b);
    EXPECT_EQ(r9->endingBar, 1);
    ExpectBarLines(*r9, 7);
    auto r7 = ReadOneStaff(7, b);
    EXPECT_EQ(r7->layerWithNext, 0);
    auto r3 = ReadOneStaff(3, b);  // no lyrics flag either
    EXPECT_STREQ(r3->staffName, "Violin");
    EXPECT_EQ(r3->lineCount, 5);
}

TEST(StaffRecord, ItemCounts) {
    struct {
        int revision, stored;
        std::vector<uint32_t> written, kept;
    } cases[] = {
        {16, 2, {}, {}},
        {8, 2, {}, {}},  // the stored bar lines are read and discarded
        {16, 5, {1, 2, 3}, {1, 2, 3}},
        {8, 5, {1, 2, 3}, {1, 2, 3}},
        {9, 1, {}, {}},
        {9, 0, {}, {}},
        {9, -7, {}, {}},
        {10, 3, {4}, {4}},
    };
    for (const auto& c : cases) {
        StaffBytes b;
        b.storedCount = c.stored;
        b.endings = c.written;
        auto staff = ReadOneStaff(c.revision, b);
        EXPECT_EQ(Endings(*staff), c.kept) << c.revision << ":" << c.stored;
        ExpectBarLines(*staff);
    }
}

TEST(StaffRecord, LineCountAndBoundaryClamps) {
    struct {
        int revision, lineCount, upper, lower;
        int expectLines, expectUpper, expectLower;
    } cases[] = {
        {16, 0, 3, -3, 0, 0, 0},        {16, 33, -20, 20, 5, -20, 20},
        {16, 5, -3, 150, 5, -5, 100},   {16, 5, -150, 2, 5, -100, 5},
        {16, 32, -31, 31, 32, -32, 32}, {16, 255, -100, 100, 5, -100, 100},
        {15, 9, -3, 3, 5, -5, 5},       {16, 1, -101, 101, 1, -100, 100},
    };
    for (const auto& c : cases) {
        StaffBytes b;
        b.lineCount = c.lineCount;
        b.upper = c.upper;
        b.lower = c.lower;
        auto staff = ReadOneStaff(c.revision, b);
        EXPECT_EQ(staff->lineCount, c.expectLines) << c.lineCount;
        EXPECT_EQ(staff->upperBoundary, c.expectUpper) << c.lineCount << ":" << c.upper;
        EXPECT_EQ(staff->lowerBoundary, c.expectLower) << c.lineCount << ":" << c.lower;
    }
}

TEST(StaffRecord, LyricsOptionsWord) {
    struct {
        int revision, options;
        unsigned placement, alignment;
        int word;
    } cases[] = {{15, 65535, 0, 0, 9}, {16, 65535, 1, 1, 9}, {14, 65535, 1, 0, 9},
                 {15, 2, 0, 1, 9},     {16, 1, 1, 0, 9},     {7, 65535, 0, 0, 0}};
    for (const auto& c : cases) {
        StaffBytes b;
        b.lyrics = true;
        b.lyricOptions = c.options;
        auto staff = ReadOneStaff(c.revision, b);
        ASSERT_NE(staff->lyrics, nullptr);
        EXPECT_EQ(staff->lyrics->lyricPlacement, c.placement) << c.revision;
        EXPECT_EQ(staff->lyrics->lyricAlignment, c.alignment) << c.revision;
        EXPECT_EQ(staff->lyrics->lyricWord, c.word) << c.revision;
        EXPECT_TRUE(staff->lyrics->lines.empty());
    }
}

TEST(StaffRecord, LyricLines) {
    StaffBytes b;
    b.lyrics = true;
    b.lyricCount = 11;  // two more than a staff keeps
    for (int i = 0; i < 11; ++i) b.lyricLines.push_back({3, i, 'a', 'b', 'c' + i});
    b.lyricLines[1] = {0};       // an empty line has no used length
    b.lyricLines[2] = {-4, 77};  // a negative size: the used length, no bytes
    b.endings = {5};
    auto staff = ReadOneStaff(16, b);
    ASSERT_NE(staff->lyrics, nullptr);
    const auto& lines = staff->lyrics->lines;
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0]->bytes, (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(lines[0]->usedLength, 0);
    EXPECT_TRUE(lines[1]->bytes.empty());
    EXPECT_EQ(lines[1]->usedLength, 1);
    EXPECT_TRUE(lines[2]->bytes.empty());
    EXPECT_EQ(lines[2]->usedLength, 77);
    EXPECT_EQ(lines[8]->bytes, (std::vector<uint8_t>{'a', 'b', 'c' + 8}));
    EXPECT_EQ(Endings(*staff), std::vector<uint32_t>{5});  // the dropped lines were consumed
}

TEST(StaffRecord, LyricLineCutShortKeepsItsSize) {
    MemoryStream m;
    m.WriteInt16(6);
    m.WriteInt16(2);
    m.WriteByte('x');
    m.WriteByte('y');
    m.Seek(0);
    LyricLine line;
    ReadLyricLine(line, 16, m);
    EXPECT_EQ(line.bytes, (std::vector<uint8_t>{'x', 'y', 0, 0, 0, 0}));
    EXPECT_EQ(line.usedLength, 2);
    EXPECT_TRUE(m.HasError());
}

class RecordingSink : public LogSink {
public:
    void show(const char* line) override { lines.emplace_back(line ? line : "(clear)"); }
    std::vector<std::string> lines;
};

TEST(StaffRecord, ProgressLines) {
    StaffBytes b;
    b.endings = {1, 2};
    RecordingSink sink;
    ReadOneStaff(16, b, true, &sink);
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"  Loading Strings:Violin (2 items)",
                                                    "  Auditing Violin"}));
}

TEST(StaffRecord, BadItemEndsTheStaff) {
    StaffBytes b;
    b.endings = {1, 2};
    b.storedCount = 6;
    b.rawItems = {99, 0, 0};
    auto staff = ReadOneStaff(16, b, false);
    EXPECT_EQ(Endings(*staff), (std::vector<uint32_t>{1, 2}));
    ExpectBarLines(*staff);
}

TEST(StaffRecord, HostileCountsStayCheap) {
    // Counts that claim far more than the bytes hold: reading stops at the end of the data.
    StaffBytes items;
    items.storedCount = 32767;
    items.endings = {1};
    auto staff = ReadOneStaff(16, items, false);
    EXPECT_EQ(Endings(*staff), (std::vector<uint32_t>{1}));

    StaffBytes lyrics;
    lyrics.lyrics = true;
    lyrics.lyricCount = 32767;
    lyrics.lyricLines = {{32767, 5, 'q'}};
    MemoryStream m;
    WriteStaff(m, 16, lyrics);
    m.Seek(0);
    Staff partial{Staff::Unfilled{}};
    // The record ends inside the first line's block: the line keeps its claimed 32767 bytes,
    // and no further line is made.
    MemoryStream cut;
    auto bytes = m.Contents();
    cut.WriteBlock(bytes.data(), bytes.size() - 6);  // drop the trailing words and count
    cut.Seek(0);
    ReadStaff(partial, 16, cut, nullptr);
    ASSERT_NE(partial.lyrics, nullptr);
    ASSERT_EQ(partial.lyrics->lines.size(), 1u);
    EXPECT_EQ(partial.lyrics->lines[0]->bytes.size(), 32767u);
    EXPECT_EQ(partial.lyrics->lines[0]->bytes[0], 'q');
    ExpectBarLines(partial);
}

// ---- Song bodies -------------------------------------------------------------------------

std::unique_ptr<Song> ReadBody(MemoryStream& m, int revision) {
    m.Seek(0);
    auto song = std::make_unique<Song>();
    ReadSongBody(*song, revision, m, nullptr);
    return song;
}

TEST(SongBody, BadItemInSecondOfThreeStaffs) {
    MemoryStream m;
    WriteInfo(m, 16, InfoBytes{});
    m.WriteInt16(3);
    StaffBytes first;
    first.endings = {1};
    WriteStaff(m, 16, first);
    StaffBytes second;
    second.name = "Second";
    second.endings = {2, 3};
    second.storedCount = 6;
    second.rawItems = {-1, 0, 0};
    WriteStaff(m, 16, second);
    StaffBytes third;
    third.name = "Third";
    WriteStaff(m, 16, third);
    auto song = ReadBody(m, 16);
    EXPECT_TRUE(m.HasError());
    ASSERT_EQ(song->staffCount(), 2);
    EXPECT_EQ(Endings(*song->staffAt(0)), std::vector<uint32_t>{1});
    EXPECT_EQ(Endings(*song->staffAt(1)), (std::vector<uint32_t>{2, 3}));
    ExpectBarLines(*song->staffAt(1));
    // The stored selection stays as read.
    EXPECT_EQ(song->staffSelection.bytes[0], 0x05);
}

TEST(SongBody, OldRevisionsRebuildTheSelectionFromTheFirstGroup) {
    MemoryStream m;
    WriteInfo(m, 7, InfoBytes{});
    m.WriteInt16(3);
    for (const char* group : {"Winds", "Strings", "Winds"}) {
        StaffBytes b;
        b.group = group;
        WriteStaff(m, 7, b);
    }
    auto song = ReadBody(m, 7);
    EXPECT_FALSE(m.HasError());
    ASSERT_EQ(song->staffCount(), 3);
    EXPECT_EQ(song->staffSelection.bytes[0], 0x05);

    MemoryStream none;
    WriteInfo(none, 7, InfoBytes{});
    none.WriteInt16(0);
    auto empty = ReadBody(none, 7);
    EXPECT_EQ(empty->staffCount(), 0);
    for (uint8_t byte : empty->staffSelection.bytes) EXPECT_EQ(byte, 0);
}

TEST(SongBody, EndingEarly) {
    struct {
        int claimed;
        size_t cut;  // bytes dropped from the end
        int staffs;
    } cases[] = {{2, 0, 2}, {3, 0, 3}, {32767, 0, 3}, {2, 3, 2}};
    for (const auto& c : cases) {
        MemoryStream full;
        WriteInfo(full, 16, InfoBytes{});
        full.WriteInt16(c.claimed);
        for (int i = 0; i < 2; ++i) {
            StaffBytes b;
            b.endings = {static_cast<uint32_t>(i + 1)};
            WriteStaff(full, 16, b);
        }
        auto bytes = full.Contents();
        MemoryStream m;
        m.WriteBlock(bytes.data(), bytes.size() - c.cut);
        auto song = ReadBody(m, 16);
        EXPECT_EQ(m.HasError(), c.claimed > 2 || c.cut > 0) << c.claimed;
        ASSERT_EQ(song->staffCount(), c.staffs) << c.claimed;
        for (int i = 0; i < song->staffCount(); ++i) ExpectBarLines(*song->staffAt(i));
        EXPECT_EQ(Endings(*song->staffAt(0)), std::vector<uint32_t>{1});
    }
}

}  // namespace
}  // namespace scq
