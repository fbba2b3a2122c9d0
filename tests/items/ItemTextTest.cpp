// The compact text of text and tempo items: what it holds after each way of setting it, that
// the placeholder and an empty text take no heap block, and what the items it made small take.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "items/DurationItems.h"
#include "items/ItemText.h"
#include "items/PerformanceMarks.h"
#include "items/TextAndPedal.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

// An item read from a file a million times over takes one allocator block of at most 32
// bytes on a 64-bit system, its vtable pointer included.
static_assert(sizeof(void*) != 8 || sizeof(TextItem) <= 24);
static_assert(sizeof(void*) != 8 || sizeof(TempoItem) <= 24);
static_assert(sizeof(void*) != 8 || sizeof(RestItem) <= 24);
static_assert(sizeof(ItemText) == sizeof(void*));

TEST(ItemTextTest, HoldsTheTextUpToItsFirstZeroByte) {
    struct Case {
        const char* name;
        std::string assigned;
        std::string held;
        bool shared;  // no heap block of its own
    };
    const Case cases[] = {
        {"empty", "", "", true},
        {"short", "Solo", "Solo", false},
        {"longer than a small string", std::string(79, 'x'), std::string(79, 'x'), false},
        {"placeholder", kTextPlaceholder, kTextPlaceholder, true},
        {"placeholder and more", std::string(kTextPlaceholder) + "!",
         std::string(kTextPlaceholder) + "!", false},
        {"cut at a zero byte", std::string("ab\0cd", 5), "ab", false},
        {"zero byte first", std::string("\0cd", 3), "", true},
        {"windows-1252 bytes", "Pi\xF9 mosso", "Pi\xF9 mosso", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ItemText text;
        text = std::string_view(c.assigned);
        EXPECT_EQ(text, c.held);
        EXPECT_EQ(text.size(), c.held.size());
        EXPECT_EQ(text.empty(), c.held.empty());
        EXPECT_EQ(std::string(text.c_str()), c.held);
        EXPECT_EQ(text.isShared(), c.shared);

        // Copies are independent and equal; a move leaves the source empty.
        ItemText copy = text;
        EXPECT_EQ(copy, text);
        EXPECT_EQ(copy.isShared(), c.shared);
        text = "other";
        EXPECT_EQ(copy, c.held);
        ItemText moved = std::move(copy);
        EXPECT_EQ(moved, c.held);
        std::ostringstream out;
        out << moved;
        EXPECT_EQ(out.str(), c.held);
    }
}

TEST(ItemTextTest, AssignsFromItsOwnBytes) {
    ItemText text("Allegro con brio");
    text = text.view().substr(8);
    EXPECT_EQ(text, "con brio");
    text.clear();
    EXPECT_TRUE(text.empty());
    EXPECT_STREQ(text.c_str(), "");
}

TEST(ItemTextTest, TextItemsShareThePlaceholder) {
    TextItem made;
    EXPECT_EQ(made.text, TextItem::kPlaceholder);
    EXPECT_TRUE(made.text.isShared());
    TextItem given("Solo");
    EXPECT_FALSE(given.text.isShared());
    given.setText("");
    EXPECT_TRUE(given.text.empty());
    TempoItem tempo;
    EXPECT_TRUE(tempo.tempoText.empty());
}

// A record read over a text item that holds a text of its own replaces that text: an empty one
// with the hidden placeholder, any other with a copy of its own.
TEST(ItemTextTest, ARecordReplacesAnOwnedText) {
    struct Case {
        const char* read;
        const char* held;
        bool shared;
        unsigned visibility;
    };
    for (const Case& c : {Case{"", kTextPlaceholder, true, kVisNever},
                          Case{"tutti", "tutti", false, kVisAlways}}) {
        MemoryStream record(64);
        for (const int byte : {1, 0, 0, 2}) record.WriteByte(byte);  // shown Always, font 2
        record.WriteString(c.read);
        record.Seek(0);
        TextItem item("Solo");
        item.readRecord(16, record);
        EXPECT_FALSE(record.HasError()) << c.read;
        EXPECT_EQ(item.text, c.held);
        EXPECT_EQ(item.text.isShared(), c.shared) << c.read;
        EXPECT_EQ(item.visibility, c.visibility) << c.read;
    }
}

}  // namespace
}  // namespace scq
