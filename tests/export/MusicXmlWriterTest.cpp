// The MusicXML writer: every exported file validates against the schema, and the notes read back
// from each part (onset from the part's start, MIDI number of the written pitch, duration) are
// the staff's notes walked in item order.

#include <gtest/gtest.h>
#include <unistd.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "load/Repair.h"
#include "export/MusicXmlWriter.h"
#include "items/DurationItems.h"
#include "perform/PerformRules.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/MusicXmlSongs.h"
#include "support/Process.h"
#include "support/RichSongs.h"

namespace scq::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::string name;
    std::unique_ptr<Song> song;
};

std::vector<Case> Songs() {
    std::vector<Case> cases;
    auto add = [&cases](std::string name, const Bytes& bytes) {
        MemoryStream stream(bytes.data(), bytes.size());
        SongFileInfo info;
        cases.push_back({std::move(name), LoadSongFromStream(stream, info)});
    };
    for (const NamedSong& s : MusicXmlSongs()) add(s.name, BuildSong(s.song));
    for (const auto& entry : fs::directory_iterator(fs::path(SCQ_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() != ".scq") continue;
        SongFileInfo info;
        cases.push_back({"example-" + entry.path().stem().string(),
                         LoadSongWithRepair(entry.path().c_str(), info, nullptr)});
    }
    return cases;
}

std::string Export(Song& song) {
    std::string text;
    MusicXmlOptions options;
    options.encodingDate = "2026-01-02";
    WriteMusicXml(song, text, options);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Reading back.

std::string Text(xmlNode* node, const char* child) {
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && xmlStrcmp(c->name, BAD_CAST child) == 0) {
            xmlChar* content = xmlNodeGetContent(c);
            std::string s = reinterpret_cast<const char*>(content);
            xmlFree(content);
            return s;
        }
    }
    return {};
}

bool Has(xmlNode* node, const char* child) {
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && xmlStrcmp(c->name, BAD_CAST child) == 0) return true;
    }
    return false;
}

// Each part's notes (rests left out), sorted; and each part's measure count.
std::vector<std::vector<NoteRow>> ReadBack(const std::string& text, std::vector<int>& measures) {
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "song.musicxml", nullptr,
                      XML_PARSE_NONET),
        xmlFreeDoc);
    std::vector<std::vector<NoteRow>> parts;
    if (!doc) return parts;
    static constexpr int kStep[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    for (xmlNode* part = xmlDocGetRootElement(doc.get())->children; part; part = part->next) {
        if (part->type != XML_ELEMENT_NODE || xmlStrcmp(part->name, BAD_CAST "part") != 0) continue;
        std::vector<NoteRow>& notes = parts.emplace_back();
        measures.push_back(0);
        int64_t start = 0;
        for (xmlNode* m = part->children; m; m = m->next) {
            if (m->type != XML_ELEMENT_NODE) continue;
            ++measures.back();
            int64_t at = 0, last = 0;
            for (xmlNode* e = m->children; e; e = e->next) {
                if (e->type != XML_ELEMENT_NODE) continue;
                const std::string name = reinterpret_cast<const char*>(e->name);
                const int64_t d = std::stoll("0" + Text(e, "duration"));
                if (name == "backup") at -= d;
                if (name == "forward") at += d;
                if (name != "note") continue;
                const int64_t onset = Has(e, "chord") ? last : at;
                if (!Has(e, "chord")) at += d;
                last = onset;
                if (Has(e, "rest")) continue;
                xmlNode* p = e->children;
                while (xmlStrcmp(p->name, BAD_CAST "pitch") != 0) p = p->next;
                const std::string a = Text(p, "alter");
                const int alter = a.empty() ? 0 : std::stoi(a);
                const int midi = 12 * (std::stoi(Text(p, "octave")) + 1) +
                                 kStep[Text(p, "step")[0] - 'A'] + alter;
                notes.emplace_back(start + onset, midi, d);
            }
            start += at;
        }
        std::sort(notes.begin(), notes.end());
    }
    return parts;
}

TEST(MusicXmlWriter, NotesReadBackAsTheStaffsNotes) {
    for (Case& c : Songs()) {
        ASSERT_TRUE(c.song) << c.name;
        std::vector<int> measures;
        const auto parts = ReadBack(Export(*c.song), measures);
        ASSERT_EQ(parts.size(), static_cast<size_t>(std::max(c.song->staffCount(), 1))) << c.name;
        for (int i = 0; i < c.song->staffCount(); ++i) {
            EXPECT_EQ(parts[static_cast<size_t>(i)], StaffNotes(*c.song->staffAt(i)))
                << c.name << " staff " << i;
            EXPECT_EQ(measures[static_cast<size_t>(i)], measures[0]) << c.name << " staff " << i;
        }
    }
}

TEST(MusicXmlWriter, EveryFileValidatesAgainstTheSchema) {
    const fs::path schema = fs::path(SCQ_MUSICXML_SCHEMA_DIR);
    if (std::string(SCQ_XMLLINT).empty() || !fs::exists(schema / "musicxml.xsd")) {
        GTEST_SKIP() << "no xmllint or no schema in " << schema;
    }
    const fs::path dir = fs::temp_directory_path() / ("scq-musicxml-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<std::string> args = {"--noout", "--nonet", "--schema",
                                     (schema / "musicxml.xsd").string()};
    for (Case& c : Songs()) {
        const std::string text = Export(*c.song);
        const fs::path file = dir / (c.name + ".musicxml");
        ASSERT_TRUE(WriteFile(file.string(), Bytes(text.begin(), text.end())));
        args.push_back(file.string());
    }
    const ProgramRun run =
        RunProgram(SCQ_XMLLINT, args, "/dev/null",
                   {"XML_CATALOG_FILES=" + (schema / "catalog.xml").string()}, true, true);
    fs::remove_all(dir);
    EXPECT_EQ(run.exitCode, 0) << run.out;
}

// What the notation cases must say in MusicXML terms.
TEST(MusicXmlWriter, NotationCasesAreSpelledOut) {
    const Bytes bytes = BuildSong(NotationCases());
    MemoryStream in(bytes.data(), bytes.size());
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromStream(in, info);
    ASSERT_TRUE(song);
    const std::string text = Export(*song);
    for (const char* fragment : {
             "<work-title>A\xEF\xBF\xBD&lt;&amp;&gt;&quot;\xEF\xBF\xBD\xE2\x82\xAC\xC3\xA9</work-title>",
             "line one\rline two\xEF\xBF\xBD</miscellaneous-field>",
             "<measure number=\"0\" implicit=\"yes\">",
             "<time-modification><actual-notes>3</actual-notes>",
             "<tuplet type=\"start\" bracket=\"yes\"/>", "<dot/><dot/>",
             "<tie type=\"stop\"/>", "<grace/>", "<chord/>", "<backup><duration>",
             "<beam number=\"1\">begin</beam>", "<note print-object=\"no\">",
             "<rest measure=\"yes\"/><duration>576</duration>",
             "<bar-style>light-light</bar-style>", "<repeat direction=\"forward\"/>",
             "<repeat direction=\"backward\" times=\"3\"/>", "<repeat direction=\"backward\"/>",
             "<time symbol=\"common\">", "<time symbol=\"cut\">",
             "<sign>C</sign><line>4</line><clef-octave-change>-1</clef-octave-change>",
             "<sign>F</sign><line>4</line><clef-octave-change>1</clef-octave-change>",
             "<key><fifths>-7</fifths></key>", "<key><fifths>7</fifths></key>",
             "<key-step>G</key-step><key-alter>1</key-alter><key-step>A</key-step>"
             "<key-alter>1</key-alter><key-step>E</key-step><key-alter>-1</key-alter>",
             "<transpose><chromatic>-2</chromatic><octave-change>-1</octave-change>",
             "<step>B</step><alter>1</alter><octave>4</octave>",  // sharp, then carried
             "<ending number=\"1\" type=\"start\">1.</ending>",
             "<ending number=\"7\" type=\"stop\"/>", "<ending number=\"8\" type=\"start\">D.</ending>",
             "<ending number=\"8\" type=\"discontinue\"/>", "<segno/>", "<coda/>",
             "<sound fine=\"yes\"/>", "<words>D.S. al Coda</words>", "<sound tocoda=\"coda\"/>",
             "<dynamics><fff/></dynamics>", "<beat-unit-dot/><per-minute>40</per-minute>",
             "<wedge type=\"crescendo\"/>", "<wedge type=\"stop\"/>", "<pedal type=\"start\"",
             "<midi-program>41</midi-program></midi-instrument></sound>", "color=\"#E00000\"",
             "<note dynamics=\"0\">", "<fermata type=\"upright\"/>", "<breath-mark/>",
             "<group-name>Standard</group-name>",
             "<voice>2</voice><type>quarter</type><stem>up</stem>",  // split stems
             "<part id=\"P7\">\n    <measure number=\"0\" implicit=\"yes\">\n      <attributes>",
         }) {
        EXPECT_NE(text.find(fragment), std::string::npos) << fragment;
    }
    // Hidden marks keep their sound alone; a coloured mark carries its colour.
    EXPECT_NE(text.find("      <sound tempo=\"90\"/>\n"), std::string::npos);
    EXPECT_EQ(text.find("<per-minute>90</per-minute>"), std::string::npos);
    EXPECT_NE(text.find("<dynamics color=\"#00A000\"><mf/></dynamics>"), std::string::npos);
    EXPECT_EQ(text.find(">hidden</words>"), std::string::npos);
    EXPECT_EQ(text.find("<wedge type=\"diminuendo\"/>"), std::string::npos);
    EXPECT_NE(text.find("      <sound dynamics=\""), std::string::npos);  // the hidden pp
    // The muted staff's note is silent as well as the muted note.
    const size_t muted = text.find("<part id=\"P7\">");
    ASSERT_NE(muted, std::string::npos);
    EXPECT_NE(text.find("<note dynamics=\"0\">", muted), std::string::npos);
}

// A sink gets the very document the string gets, in pieces; one that refuses is called no
// more, and the result says the document was not written.
TEST(MusicXmlWriter, SinkTakesTheDocumentInPieces) {
    const Bytes bytes = BuildLargeSong(4, 3000);
    MemoryStream stream(bytes.data(), bytes.size());
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromStream(stream, info);
    ASSERT_TRUE(song);
    const std::string whole = Export(*song);
    MusicXmlOptions options;
    options.encodingDate = "2026-01-02";

    std::string joined;
    int pieces = 0;
    const MusicXmlWriteResult result = WriteMusicXml(
        *song,
        [&](std::string_view piece) {
            joined += piece;
            ++pieces;
            return true;
        },
        options);
    EXPECT_TRUE(result.written);
    EXPECT_GT(pieces, 2) << whole.size() << " bytes came in one piece";
    EXPECT_EQ(joined, whole);

    int calls = 0;
    const MusicXmlWriteResult refused =
        WriteMusicXml(*song, [&](std::string_view) { return ++calls < 2; }, options);
    EXPECT_FALSE(refused.written);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace scq::test
