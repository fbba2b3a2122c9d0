#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/ItemFactory.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

// A stream holding one item: its type code, the common byte (revision 10 on), an optional
// positioned record (revision 11 on), then the given words.
MemoryStream& ItemBytes(MemoryStream& m, int code, int revision, std::vector<int> words,
                        bool positioned = false, int common = 0) {
    m.WriteInt16(code);
    if (revision >= 10) m.WriteByte(common);
    if (positioned && revision >= 11) {
        m.WriteByte(0xFD);  // position -3
        m.WriteByte(0x1D);  // reserves width, right, at next note/bar
    }
    for (int w : words) m.WriteInt16(w);
    m.Seek(0);
    return m;
}

template <typename T>
std::unique_ptr<T> ReadAs(MemoryStream& m, int revision) {
    ReadItemResult r = ItemFactory::readItem(revision, m);
    if (!r.ok) return nullptr;
    T* typed = dynamic_cast<T*>(r.item.get());
    if (!typed) return nullptr;
    r.item.release();
    return std::unique_ptr<T>(typed);
}

struct BarWordCase {
    int revision;
    int word;
    unsigned style;
    unsigned systemBreak;
    unsigned repeatCount;
};

class BarWordTest : public ::testing::TestWithParam<BarWordCase> {};

TEST_P(BarWordTest, ReadsStyleBreakAndCount) {
    const BarWordCase& c = GetParam();
    MemoryStream m;
    auto bar = ReadAs<BarLineItem>(ItemBytes(m, kBarLineItem, c.revision, {c.word}), c.revision);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->barStyle, c.style);
    EXPECT_EQ(bar->systemBreak, c.systemBreak);
    EXPECT_EQ(bar->repeatCount, c.repeatCount);
    EXPECT_EQ(bar->incompleteBar, 0u);
    EXPECT_EQ(m.Tell(), m.Size());
}

INSTANTIATE_TEST_SUITE_P(Words, BarWordTest,
                         ::testing::Values(BarWordCase{16, 0x0305, 5, 0, 3},
                                           BarWordCase{9, 0x0305, 5, 0, 3},
                                           BarWordCase{11, 0x0085, 5, 0, 0},
                                           BarWordCase{12, 0x0085, 5, 1, 0},
                                           BarWordCase{16, 0x0040, 0, 0, 0},  // bit 6 ignored
                                           BarWordCase{16, 0xFF3F, 63, 0, 255}));

TEST(BarLineItem, SetStyleCounts) {
    struct {
        int style, count;
        unsigned expected;
    } cases[] = {{5, 0, 2},     {5, 1, 2}, {5, 2, 2}, {5, 3, 3}, {5, -4, 2},
                 {5, 255, 255}, {0, 5, 1}, {7, 9, 1}, {4, 3, 1}};
    for (const auto& c : cases) {
        BarLineItem bar(0, 77);
        bar.setStyle(c.style, c.count);
        EXPECT_EQ(bar.barStyle, static_cast<unsigned>(c.style)) << c.style << "," << c.count;
        EXPECT_EQ(bar.repeatCount, c.expected) << c.style << "," << c.count;
    }
    BarLineItem made(5, 0);  // made new: values unchanged
    EXPECT_EQ(made.repeatCount, 0u);
}

TEST(BarLineItem, StyleGroups) {
    // style: closing, opening, opener
    struct {
        int style;
        bool closing, opening;
        int opener;
    } cases[] = {{0, false, false, -1}, {1, false, false, -1}, {2, false, true, -1},
                 {3, true, false, 2},   {4, false, true, -1},  {5, true, false, 4},
                 {6, false, true, -1},  {7, true, false, 6},   {8, false, false, -1}};
    for (const auto& c : cases) {
        BarLineItem bar(c.style, 1);
        EXPECT_EQ(bar.isClosing(), c.closing) << c.style;
        EXPECT_EQ(bar.isOpening(), c.opening) << c.style;
        EXPECT_EQ(bar.matchingOpener(), c.opener) << c.style;
    }
}

TEST(BarLineItem, MakeFromEndingBar) {
    struct {
        int code;
        unsigned style, visibility;
    } cases[] = {{0, 3, 0}, {1, 7, 0}, {2, 0, 0},   {3, 1, 0},
                 {4, 0, 3}, {5, 3, 0}, {255, 3, 0}, {-1, 3, 0}};
    for (const auto& c : cases) {
        auto bar = BarLineItem::makeFromEndingBar(c.code);
        EXPECT_EQ(bar->barStyle, c.style) << c.code;
        EXPECT_EQ(bar->visibility, c.visibility) << c.code;
        EXPECT_EQ(bar->repeatCount, 1u) << c.code;
        // Restyling a hidden, counted bar line resets what the code does not set.
        BarLineItem restyled(5, 4);
        restyled.visibility = kVisNever;
        restyled.restyleFromEndingBar(c.code);
        EXPECT_EQ(restyled.barStyle, c.style) << c.code;
        EXPECT_EQ(restyled.visibility, c.visibility) << c.code;
        EXPECT_EQ(restyled.repeatCount, 1u) << c.code;
    }
}

TEST(EndingItem, LabelsAndUnsignedWord) {
    struct {
        uint32_t endings;
        const char* label;
    } cases[] = {{0x83, " 1.2.D."},
                 {0, " "},
                 {0x80, " D."},
                 {0xFF, " 1.2.3.4.5.6.7.D."},
                 {0x140, " 7."}};  // bits above 7 are not labelled
    for (const auto& c : cases) EXPECT_EQ(EndingItem(c.endings).endingLabel(), c.label);

    MemoryStream m;
    auto ending = ReadAs<EndingItem>(ItemBytes(m, kEndingItem, 16, {0xFFFF}), 16);
    ASSERT_NE(ending, nullptr);
    EXPECT_EQ(ending->endings, 65535u);
}

TEST(FlowDirectionItem, KindsOutOfRangeBecomeCoda) {
    struct {
        int word, kind;
    } cases[] = {{10, 0}, {-1, 0}, {9, 9}, {0, 0}, {3, 3}, {32767, 0}, {-32768, 0}};
    for (const auto& c : cases) {
        MemoryStream m;
        auto flow =
            ReadAs<FlowDirectionItem>(ItemBytes(m, kFlowDirectionItem, 16, {c.word}, true), 16);
        ASSERT_NE(flow, nullptr);
        EXPECT_EQ(flow->kind(), c.kind) << c.word;
        EXPECT_EQ(flow->position, -3);
        EXPECT_EQ(flow->placement, 3u);
        EXPECT_EQ(flow->justification, 2u);
    }
    EXPECT_EQ(FlowDirectionItem(12).kind(), kFlowCoda);
}

TEST(FlowDirectionItem, OldRecordsPlaceByKind) {
    const int expected[10] = {-7, -8, 8, -8, -10, -10, -10, -8, -8, -8};
    for (int revision : {9, 10}) {
        for (int kind = 0; kind < 10; ++kind) {
            MemoryStream m;
            auto flow = ReadAs<FlowDirectionItem>(
                ItemBytes(m, kFlowDirectionItem, revision, {kind}, true), revision);
            ASSERT_NE(flow, nullptr);
            EXPECT_EQ(flow->position, expected[kind]) << revision << ":" << kind;
            EXPECT_EQ(flow->reservesWidth, 1u);
            EXPECT_EQ(flow->placement, 1u);
            EXPECT_EQ(m.Tell(), m.Size());
        }
    }
    // From revision 11 the positioned record decides.
    MemoryStream m;
    auto fine = ReadAs<FlowDirectionItem>(ItemBytes(m, kFlowDirectionItem, 11, {2}, true), 11);
    ASSERT_NE(fine, nullptr);
    EXPECT_EQ(fine->position, -3);
}

TEST(BarsAndFlow, SlotsAndNewValues) {
    BarLineItem bar(0, 1);
    EndingItem ending(1);
    FlowDirectionItem flow(kFlowSegno);
    EXPECT_EQ(bar.typeCode(), 2);
    EXPECT_EQ(ending.typeCode(), 3);
    EXPECT_EQ(flow.typeCode(), 12);
    EXPECT_EQ(bar.defaultVisibility(), 1);
    EXPECT_EQ(ending.defaultVisibility(), 2);
    EXPECT_EQ(flow.defaultVisibility(), 2);
    EXPECT_EQ(bar.verticalPosition(), 0);
    EXPECT_EQ(bar.topExtent(), -4);
    EXPECT_EQ(bar.bottomExtent(), 4);
    EXPECT_EQ(ending.verticalPosition(), -10);
    EXPECT_EQ(ending.topExtent(), 0);
    EXPECT_EQ(ending.bottomExtent(), 0);
    EXPECT_EQ(flow.position, -8);
    EXPECT_EQ(flow.verticalPosition(), -8);
    EXPECT_EQ(flow.topExtent(), -8);
    EXPECT_TRUE(flow.isPositioned());
    EXPECT_FALSE(bar.isPositioned());
}

TEST(BarsAndFlow, ShortRecordsFail) {
    for (int code : {kBarLineItem, kEndingItem, kFlowDirectionItem}) {
        MemoryStream m;
        m.WriteInt16(code);
        m.WriteByte(0);  // the common byte and nothing more
        m.Seek(0);
        ReadItemResult r = ItemFactory::readItem(16, m);
        EXPECT_FALSE(r.ok) << code;
        EXPECT_EQ(r.item, nullptr) << code;
    }
}

TEST(BarsAndFlow, WriterLayoutAndClones) {
    BarLineItem bar(kBarLocalRepeatClose, 4);
    bar.systemBreak = 1;
    bar.incompleteBar = 1;  // run-time only: not stored
    bar.visibility = kVisNever;
    bar.colour = 2;
    MemoryStream m;
    ItemFactory::writeItem(m, bar);
    EXPECT_EQ(m.Contents(), (std::vector<unsigned char>{2, 0, 0x13, 0x85, 0x04}));

    auto barClone = ItemFactory::cloneBySerialisation(bar);
    auto* b = dynamic_cast<BarLineItem*>(barClone.get());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->barStyle, 5u);
    EXPECT_EQ(b->systemBreak, 1u);
    EXPECT_EQ(b->incompleteBar, 0u);
    EXPECT_EQ(b->repeatCount, 4u);
    EXPECT_EQ(b->visibility, 3u);
    EXPECT_EQ(b->colour, 2u);

    EndingItem ending(0x10083);  // only the low 16 bits are stored
    ending.colour = 1;
    auto endingClone = ItemFactory::cloneBySerialisation(ending);
    auto* e = dynamic_cast<EndingItem*>(endingClone.get());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->endings, 0x83u);
    EXPECT_EQ(e->colour, 1u);

    FlowDirectionItem flow(kFlowDsAlFine);
    flow.position = 5;
    flow.reservesWidth = 0;
    flow.justification = 1;
    flow.placement = 2;
    flow.visibility = kVisAlways;
    auto flowClone = ItemFactory::cloneBySerialisation(flow);
    auto* f = dynamic_cast<FlowDirectionItem*>(flowClone.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->flowKind, 9);
    EXPECT_EQ(f->position, 5);
    EXPECT_EQ(f->reservesWidth, 0u);
    EXPECT_EQ(f->justification, 1u);
    EXPECT_EQ(f->placement, 2u);
    EXPECT_EQ(f->visibility, 1u);
}

}  // namespace
}  // namespace scq
