// The JSON writer's strings: every character comes out as the JSON library itself would write
// it, and song texts decode from windows-1252 whether or not they are plain ASCII.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <climits>
#include <string>

#include "export/JsonWriter.h"
#include "export/Text.h"

namespace scq::test {
namespace {

std::string Written(void (*write)(json::Writer&, const std::string&), const std::string& in) {
    std::string text;
    {
        json::BlockWriter block(&text);
        json::Writer w(block, false);
        write(w, in);
    }
    return text;
}

void AsString(json::Writer& w, const std::string& s) { w.string(s); }
void AsText(json::Writer& w, const std::string& s) { w.text(s.data(), s.size()); }

TEST(JsonWriter, EscapesEveryCharacterAsTheLibraryDoes) {
    std::string everyByte;  // every windows-1252 byte but 0, around the characters that escape
    for (int c = 1; c < 256; ++c) {
        everyByte += 'a';
        everyByte += static_cast<char>(c);
    }
    const std::string cases[] = {"", "plain", "quote \" and backslash \\", "\b\f\n\r\t\x01\x1f\x7f",
                                 "line\nbreak at the end\n", "\"", everyByte};
    for (const std::string& bytes : cases) {
        const std::string utf8 = Windows1252ToUtf8(bytes.data(), bytes.size());
        const std::string expected = nlohmann::json(utf8).dump();
        EXPECT_EQ(Written(AsString, utf8), expected) << bytes;
        EXPECT_EQ(Written(AsText, bytes), expected) << bytes;
    }
}

TEST(JsonWriter, TextEndsAtItsFirstZeroByte) {
    const std::string field("ab\0cd", 5);
    EXPECT_EQ(Written(AsText, field), "\"ab\"");
    const std::string accented("\xe9t\xe9\0x", 5);
    EXPECT_EQ(Written(AsText, accented), "\"\xc3\xa9t\xc3\xa9\"");
}

TEST(JsonWriter, NumbersAreWrittenInFull) {
    for (long long v : {0LL, 7LL, 9LL, 10LL, 42LL, 99LL, 100LL, 101LL, 110LL, 255LL, 909LL, 999LL,
                        1000LL, -1LL, -10LL, 65535LL,
                        4294967295LL, LLONG_MIN, LLONG_MAX}) {
        std::string text;
        {
            json::BlockWriter block(&text);
            json::Writer w(block, false);
            w.beginObject();
            w.field("a", v);
            w.key("b");
            w.integer(v);
            w.endObject();
        }
        EXPECT_EQ(text, "{\"a\":" + std::to_string(v) + ",\"b\":" + std::to_string(v) + "}");
    }
}

// Members written together, one by one and as strings, in objects nested in arrays, over many
// blocks: compact and indented, the text is the library's own for the same document.
TEST(JsonWriter, MembersReadAsTheLibraryWritesThem) {
    for (const bool pretty : {false, true}) {
        nlohmann::ordered_json expected = nlohmann::ordered_json::array();
        std::string text;
        {
            json::BlockWriter block(&text);
            json::Writer w(block, pretty);
            w.beginArray();
            for (int i = 0; i < 3000; ++i) {  // about half a megabyte, several blocks
                const long long big = (i % 7 == 0) ? -1LL * i * 1000003 : i * 65537LL;
                w.beginObject();
                w.field("i", i);
                w.key("kind");
                w.plainString(i % 2 ? "NoteItem" : "");
                w.fields("a", i % 10, "bb", i % 1000, "ccc", big, "d", -i);
                w.key("list");
                w.beginArray();
                for (int k = 0; k < i % 3; ++k) {
                    w.beginObject();
                    w.fields("k", k);
                    w.endObject();
                }
                w.endArray();
                w.key("text");
                w.string(i % 5 ? "plain" : "with \"quotes\"\n");
                w.endObject();
                nlohmann::ordered_json item = {{"i", i},        {"kind", i % 2 ? "NoteItem" : ""},
                                               {"a", i % 10},   {"bb", i % 1000},
                                               {"ccc", big},    {"d", -i},
                                               {"list", nlohmann::ordered_json::array()}};
                for (int k = 0; k < i % 3; ++k) item["list"].push_back({{"k", k}});
                item["text"] = i % 5 ? "plain" : "with \"quotes\"\n";
                expected.push_back(item);
            }
            w.endArray();
        }
        EXPECT_EQ(text, pretty ? expected.dump(2) : expected.dump()) << "pretty " << pretty;
    }
}

}  // namespace
}  // namespace scq::test
