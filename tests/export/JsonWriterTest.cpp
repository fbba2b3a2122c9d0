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

}  // namespace
}  // namespace scq::test
