#include <gtest/gtest.h>

#include <functional>

#include "items/MarkRecords.h"

namespace scq {
namespace {

using marktest::Bytes;
using marktest::fields;
using marktest::readRecord;

// The positioned part of a revision-11+ record: common byte, position, layout byte.
Bytes head(int common = 0, int position = 0, int layout = 1) {
    return Bytes().b(common).b(position).b(layout);
}

// ---- tempo ----

struct TempoWordCase {
    int f;
    const char* text;
    unsigned visibility;
    unsigned reservesWidth;
};

TEST(MarksTest, TempoWordOfOldRecords) {
    const TempoWordCase cases[] = {
        {0x0025, "Andante", kVisDefault, 0},  // word shown
        {0x0005, "", kVisNever, 0},           // neither value nor word: hidden
        {0x002E, "Largo", kVisDefault, 0},    // index past the words
        {0x0050, "", kVisDefault, 1},         // value only, reserves width
        {0x0038, "Allegro", kVisDefault, 0},  // value and word
    };
    for (const TempoWordCase& c : cases) {
        SCOPED_TRACE(c.f);
        auto back = readRecord(5, kTempoItem, Bytes().w(0xFFF6).w(96).w(3).w(c.f));
        ASSERT_TRUE(back.result.ok);
        auto* tempo = back.as<TempoItem>();
        EXPECT_EQ(tempo->tempoText, c.text);
        EXPECT_EQ(tempo->visibility, c.visibility);
        EXPECT_EQ(tempo->reservesWidth, c.reservesWidth);
        EXPECT_EQ(tempo->position, -10);
        EXPECT_EQ(tempo->tempo, 96);
        EXPECT_EQ(tempo->tempoBase, 3);
        EXPECT_EQ(back.consumed, 10);
    }
}

TEST(MarksTest, TempoRecordsByRevision) {
    struct Case {
        int revision;
        Bytes record;
        const char* expected;
        int64_t consumed;
    };
    const Case cases[] = {
        {2, Bytes().w(-6).w(80), "pos=-6 rw=1 just=0 plc=1 tempo=80 base=2 text=''", 6},
        {3, Bytes().w(-6).w(80).w(4), "pos=-6 rw=1 just=0 plc=1 tempo=80 base=4 text=''", 8},
        {16, head(0, -12, 0x1B).w(-1).b(5).s("Grave"),
         "pos=-12 rw=1 just=1 plc=3 tempo=-1 base=5 text='Grave'", 14},
    };
    for (const Case& c : cases) {
        auto back = readRecord(c.revision, kTempoItem, c.record);
        ASSERT_TRUE(back.result.ok);
        EXPECT_EQ(fields(*back.result.item), std::string("code=6 vis=0 col=0 ") + c.expected);
        EXPECT_EQ(back.consumed, c.consumed);
    }
}

TEST(MarksTest, TempoInBases) {
    struct Case {
        int value, base, stored, shownBack;
    };
    const Case cases[] = {
        {120, kTempoEighth, 60, 120},      {80, kTempoDottedEighth, 60, 80},
        {100, kTempoQuarter, 100, 100},    {40, kTempoDottedQuarter, 60, 40},
        {50, kTempoHalf, 100, 50},         {41, kTempoDottedHalf, 123, 41},
        {41, kTempoDottedQuarter, 61, 40},  // integer arithmetic both ways
    };
    for (const Case& c : cases) {
        TempoItem tempo(c.value, c.base);
        EXPECT_EQ(tempo.tempo, c.stored) << c.value << "/" << c.base;
        EXPECT_EQ(tempo.tempoBase, c.base);
        EXPECT_EQ(tempo.tempoIn(c.base), c.shownBack);
        EXPECT_EQ(tempo.position, -10);
        EXPECT_EQ(tempo.reservesWidth, 0u);
        EXPECT_TRUE(tempo.tempoText.empty());
    }
    TempoItem huge(0x7FFFFFFF, kTempoDottedHalf);  // must not overflow
    EXPECT_EQ(huge.tempoIn(kTempoQuarter), huge.tempo);
}

// ---- dynamics ----

TEST(MarksTest, DynamicRecords) {
    struct Case {
        const char* name;
        int revision;
        Bytes record;
        const char* expected;
    };
    const Case cases[] = {
        {"revision 3: no explicit values", 3, Bytes().w(0x12F6).w(0x35),
         "vis=0 col=0 pos=-10 rw=1 just=0 plc=1 dyn=5 vg=0 volg=0 vel=-1 vol=-1"},
        {"byte D 0x09 is ppp", 16, head().b(0x09).w(90).w(70),
         "vis=0 col=0 pos=0 rw=1 just=0 plc=0 dyn=0 vg=0 volg=0 vel=90 vol=70"},
        {"both flags", 16, head().b(0x64).w(0x1264).w(-1),
         "vis=0 col=0 pos=0 rw=1 just=0 plc=0 dyn=4 vg=1 volg=1 vel=100 vol=-1"},
        {"revision 5 word P, bit 7 hides", 5, Bytes().w(0xF496).w(100).w(80),
         "vis=3 col=0 pos=-12 rw=1 just=0 plc=1 dyn=6 vg=0 volg=0 vel=100 vol=80"},
        {"revision 10: bit 7 ignored", 10, Bytes().b(0x09).w(0x0A86).w(0).w(0),
         "vis=1 col=1 pos=10 rw=0 just=0 plc=1 dyn=6 vg=0 volg=0 vel=0 vol=0"},
        {"revision 9 D flags", 9, Bytes().w(0x0062).w(70).w(90),
         "vis=0 col=0 pos=0 rw=0 just=0 plc=1 dyn=2 vg=1 volg=1 vel=70 vol=90"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, kDynamicItem, c.record);
        ASSERT_TRUE(back.result.ok);
        EXPECT_EQ(fields(*back.result.item), std::string("code=7 ") + c.expected);
        EXPECT_EQ(back.consumed, static_cast<int64_t>(c.record.data.size()) + 2);
    }
    DynamicItem made(kDynamicMF);
    EXPECT_EQ(fields(made),
              "code=7 vis=0 col=0 pos=8 rw=0 just=0 plc=0 dyn=4 vg=0 volg=0 vel=0 "
              "vol=-1");
    EXPECT_STREQ(made.shortName(), "mf");
    EXPECT_STREQ(made.name(), "Mezzo forte");
}

// ---- controllers ----

TEST(MarksTest, ControllerClampsAndSixteenWords) {
    struct Case {
        int controller, sweep, unit;
        int expectController, expectSweep, expectUnit;
    };
    const Case cases[] = {
        {17, 1, 7, 17, 1, 7},
        {18, 2, 8, 0, 0, 0},
        {-1, -1, -1, 0, 0, 0},
        {4, 0, 3, 4, 0, 3},
    };
    for (const Case& c : cases) {
        Bytes record = head();
        record.w(c.controller).w(c.sweep).w(c.unit).w(-5);
        for (int k = 0; k < 4; ++k) record.w(k & 1).w(k + 1).w(-100 * k);
        record.w(kPedalItem).append(head()).b(1);  // the next item must start right after
        Bytes all;
        all.w(kControllerItem).append(record);
        MemoryStream s(all.data.data(), all.data.size());
        auto first = ItemFactory::readItem(16, s);
        auto next = ItemFactory::readItem(16, s);
        ASSERT_TRUE(first.ok);
        ASSERT_TRUE(next.ok);
        EXPECT_EQ(next.item->typeCode(), kPedalItem);
        auto& m = static_cast<ControllerItem&>(*first.item);
        EXPECT_EQ(m.controller, c.expectController);
        EXPECT_EQ(m.sweepStyle, c.expectSweep);
        EXPECT_EQ(m.timeUnit, c.expectUnit);
        EXPECT_EQ(m.sweepStep, -5);
        EXPECT_EQ(m.points[3], (ControllerPoint{1, 4, -300}));
        EXPECT_EQ(m.points[2], (ControllerPoint{0, 3, -200}));
    }
}

TEST(MarksTest, ControllerMadeNewAndItsPoints) {
    ControllerItem m;
    EXPECT_EQ(fields(m),
              "code=13 vis=0 col=0 pos=-8 rw=1 just=0 plc=0 ctl=0 sweep=0 unit=2 step=0 "
              "[0,0,100] [0,0,100] [0,0,100] [0,0,100]");
    EXPECT_EQ(m.effectiveVisibility(), kVisNever);
    m.setPoint(1, 4, 64);
    m.setPoint(4, 1, 1);  // no such point
    m.setPoint(-1, 1, 1);
    EXPECT_EQ(m.points[1], (ControllerPoint{1, 4, 64}));
    m.clearPoint(1);
    EXPECT_EQ(m.points[1], ControllerPoint{});
    m.controller = kControllerVolume;
    EXPECT_EQ(m.label(), "{mpc:vol}");
}

// ---- tempo variations, dynamic variations, performance styles ----

TEST(MarksTest, FermataLayoutOfOlderRevisions) {
    struct Case {
        const char* name;
        int revision;
        Bytes record;
        const char* expected;
    };
    const Case cases[] = {
        {"revision 11 fermata without width", 11, head(0, -9, 0x00).b(1).b(2),
         "pos=-9 rw=0 just=1 plc=3 kind=1 pause=2"},
        {"revision 12 keeps its layout", 12, head(0, -9, 0x00).b(1).b(2),
         "pos=-9 rw=0 just=0 plc=0 kind=1 pause=2"},
        {"revision 11 fermata with width", 11, head(0, -9, 0x11).b(1).b(2),
         "pos=-9 rw=1 just=0 plc=2 kind=1 pause=2"},
        {"revision 11 breath mark", 11, head(0, -9, 0x00).b(0).b(2),
         "pos=-9 rw=0 just=0 plc=0 kind=0 pause=2"},
        {"revision 10 packed word", 10, Bytes().b(0).w(0xF701).w(0x0103),
         "pos=-9 rw=0 just=1 plc=3 kind=1 pause=3"},
        {"revision 9 packed word with width", 9, Bytes().w(0xF685).w(1),
         "pos=-10 rw=1 just=0 plc=1 kind=5 pause=1"},
        {"kind 9 is a breath mark", 16, head().b(9).b(0), "pos=0 rw=1 just=0 plc=0 kind=0 pause=0"},
        {"kind -1 is a breath mark", 16, head().b(0xFF).b(0xFF),
         "pos=0 rw=1 just=0 plc=0 kind=0 pause=255"},
        {"packed kind 127", 4, Bytes().w(0x007F).w(0), "pos=0 rw=0 just=0 plc=1 kind=0 pause=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, kTempoVariationItem, c.record);
        ASSERT_TRUE(back.result.ok);
        EXPECT_EQ(fields(*back.result.item),
                  std::string("code=14 vis=0 col=0 ") + c.expected + " ramp=0>0/0");
        EXPECT_EQ(back.consumed, static_cast<int64_t>(c.record.data.size()) + 2);
    }
}

TEST(MarksTest, MarksMadeNew) {
    TempoVariationItem fermata(kFermata, 2);
    EXPECT_EQ(fields(fermata),
              "code=14 vis=0 col=0 pos=-8 rw=0 just=0 plc=0 kind=1 pause=2 ramp=0>0/0");
    TempoVariationItem rit(kRitardando, 0);
    EXPECT_EQ(rit.position, 8);
    EXPECT_STREQ(fermata.glyph(), "y");
    EXPECT_STREQ(rit.name(), "Ritardando");

    DynamicVariationItem cresc(kCrescendo);
    EXPECT_EQ(fields(cresc),
              "code=15 vis=0 col=0 pos=8 rw=0 just=0 plc=0 kind=0 target=0 ramp=-1>-1/0");
    EXPECT_STREQ(cresc.shortName(), "cresc.");

    PerformanceStyleItem style(kStyleLegato);
    EXPECT_EQ(fields(style), "code=16 vis=0 col=0 pos=8 rw=0 just=0 plc=0 style=7");
    EXPECT_STREQ(style.shortName(), "legato");

    InstrumentItem instrument(InstrumentPatch{1, 130, 5});
    EXPECT_EQ(fields(instrument),
              "code=4 vis=0 col=0 pos=-8 rw=1 just=0 plc=0 bs=1 bank=130 patch=5");
    EXPECT_EQ(instrument.effectiveVisibility(), kVisNever);
}

TEST(MarksTest, VariationAndStyleRecords) {
    struct Case {
        const char* name;
        int code, revision;
        Bytes record;
        const char* expected;
    };
    const Case cases[] = {
        {"dynamic variation keeps any kind", kDynamicVariationItem, 16, head().b(200),
         "code=15 vis=0 col=0 pos=0 rw=1 just=0 plc=0 kind=200 target=0 ramp=-1>-1/0"},
        {"dynamic variation packed word", kDynamicVariationItem, 8, Bytes().w(0x0C84),
         "code=15 vis=0 col=0 pos=12 rw=1 just=0 plc=1 kind=4 target=0 ramp=-1>-1/0"},
        {"style 23 is Ad Libitum", kPerformanceStyleItem, 16, head().b(23),
         "code=16 vis=0 col=0 pos=0 rw=1 just=0 plc=0 style=0"},
        {"style -1 is Ad Libitum", kPerformanceStyleItem, 16, head().b(0xFF),
         "code=16 vis=0 col=0 pos=0 rw=1 just=0 plc=0 style=0"},
        {"style 22 kept", kPerformanceStyleItem, 16, head().b(22),
         "code=16 vis=0 col=0 pos=0 rw=1 just=0 plc=0 style=22"},
        {"style packed word", kPerformanceStyleItem, 10, Bytes().b(0x02).w(0xFA12),
         "code=16 vis=2 col=0 pos=-6 rw=0 just=0 plc=1 style=18"},
        {"style packed word 23", kPerformanceStyleItem, 6, Bytes().w(0x0097),
         "code=16 vis=0 col=0 pos=0 rw=1 just=0 plc=1 style=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, c.code, c.record);
        ASSERT_TRUE(back.result.ok);
        EXPECT_EQ(fields(*back.result.item), c.expected);
        EXPECT_EQ(back.consumed, static_cast<int64_t>(c.record.data.size()) + 2);
    }
}

// ---- common and positioned parts ----

TEST(MarksTest, RevisionTenPositionedDefaults) {
    for (int code : {kInstrumentItem, kControllerItem}) {
        Bytes record = Bytes().b(0x00);
        for (int k = 0; k < 16; ++k) record.w(0);
        auto back = readRecord(10, code, record);
        ASSERT_TRUE(back.result.ok);
        auto* p = back.as<PositionedItem>();
        EXPECT_EQ(p->position, -8);
        EXPECT_EQ(p->reservesWidth, 1u);
        EXPECT_EQ(p->justification, 0u);
        EXPECT_EQ(p->placement, 1u);
        EXPECT_EQ(back.consumed, code == kInstrumentItem ? 9 : 35);
    }
}

TEST(MarksTest, CommonByteAllOnes) {
    auto back = readRecord(16, kPedalItem, Bytes().b(0xFF).b(0xFE).b(0xFF).b(1));
    ASSERT_TRUE(back.result.ok);
    auto& pedal = *back.as<PedalItem>();
    EXPECT_EQ(pedal.visibility, 3u);
    EXPECT_EQ(pedal.colour, 3u);
    const std::vector<uint8_t> bytes = marktest::written(pedal);
    // Ignored bits of the common and layout bytes are written as 0.
    EXPECT_EQ(bytes, (std::vector<uint8_t>{kPedalItem, 0, 0x1B, 0xFE, 0x1F, 1}));
}

// ---- text and pedal ----

TEST(MarksTest, EmptyTextBecomesHiddenPlaceholder) {
    for (int revision : {16, 10}) {
        Bytes record = revision >= 11 ? head(0x08, 5, 0x04).b(7) : Bytes().b(0x08).w(0x0507);
        auto back = readRecord(revision, kTextItem, record.s(""));
        ASSERT_TRUE(back.result.ok);
        EXPECT_EQ(
            fields(*back.result.item),
            "code=17 vis=3 col=1 pos=-8 rw=1 just=" + std::string(revision >= 11 ? "2" : "0") +
                " plc=" + (revision >= 11 ? "0" : "1") + " font=0 text='<Text Expression>'");
        // Written back, the placeholder text itself is stored.
        const std::vector<uint8_t> bytes = marktest::written(*back.result.item);
        const std::string tail(bytes.end() - 18, bytes.end());
        EXPECT_EQ(tail, std::string("<Text Expression>") + '\0');
    }
}

TEST(MarksTest, TextRecords) {
    auto old = readRecord(10, kTextItem, Bytes().b(0).w(0x0F13).s("Dolce"));
    ASSERT_TRUE(old.result.ok);
    EXPECT_EQ(fields(*old.result.item),
              "code=17 vis=0 col=0 pos=15 rw=1 just=0 plc=1 font=3 text='Dolce'");

    // A text longer than a record holds keeps 79 bytes; the next item still follows.
    const std::string longText(100, 'x');
    Bytes all;
    all.w(kTextItem).append(head().b(200)).s(longText).w(kPedalItem).append(head()).b(1);
    MemoryStream s(all.data.data(), all.data.size());
    auto text = ItemFactory::readItem(16, s);
    auto next = ItemFactory::readItem(16, s);
    ASSERT_TRUE(text.ok && next.ok);
    auto& t = static_cast<TextItem&>(*text.item);
    EXPECT_EQ(t.text, std::string(79, 'x'));
    EXPECT_EQ(t.font(), 200);
    EXPECT_EQ(next.item->typeCode(), kPedalItem);

    TextItem made;
    EXPECT_EQ(fields(made),
              "code=17 vis=0 col=0 pos=-8 rw=0 just=0 plc=0 font=0 "
              "text='<Text Expression>'");
    made.setText(longText);
    EXPECT_EQ(made.text.size(), TextItem::kMaxTextLength);
    TextItem given("Solo");
    EXPECT_EQ(given.text, "Solo");
}

TEST(MarksTest, PedalRecords) {
    struct Case {
        const char* name;
        int revision;
        Bytes record;
        int down;
        unsigned reservesWidth;
        int position;
    };
    const Case cases[] = {
        {"revision 9 pressed", 9, Bytes().w(4).w(1), 1, 1, 4},
        {"revision 9 released still reserves", 9, Bytes().w(4).w(0), 0, 1, 4},
        {"revision 10 pressed, no width", 10, Bytes().b(0).w(0x01F0).w(1), 1, 0, -16},
        {"revision 10 released with width", 10, Bytes().b(0).w(6).w(2), 0, 1, 6},
        {"revision 16 byte 2", 16, head(0, 3, 0).b(2), 2, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, kPedalItem, c.record);
        ASSERT_TRUE(back.result.ok);
        auto& pedal = *back.as<PedalItem>();
        EXPECT_EQ(pedal.pedalDown, c.down);
        EXPECT_EQ(pedal.isDown(), c.down != 0);
        EXPECT_EQ(pedal.reservesWidth, c.reservesWidth);
        EXPECT_EQ(pedal.position, c.position);
        EXPECT_EQ(back.consumed, static_cast<int64_t>(c.record.data.size()) + 2);
    }
    PedalItem made(true);
    EXPECT_EQ(fields(made), "code=11 vis=0 col=0 pos=8 rw=1 just=0 plc=0 down=1");
    EXPECT_STREQ(made.name(), "Pedal Down");
}

// ---- every kind: round trips and short records ----

std::vector<std::unique_ptr<NotationItem>> sampleItems() {
    std::vector<std::unique_ptr<NotationItem>> items;
    auto add = [&](std::unique_ptr<NotationItem> item, unsigned vis, unsigned colour) {
        item->visibility = vis;
        item->colour = colour;
        if (auto* p = dynamic_cast<PositionedItem*>(item.get())) {
            p->position = -77;
            p->justification = 2;
            p->placement = 3;
        }
        items.push_back(std::move(item));
    };
    auto clef = std::make_unique<ClefItem>(kTenorClef);
    clef->octaveShift = -1;
    add(std::move(clef), 1, 2);
    auto key = std::make_unique<KeySignatureItem>(0x8021, 0xFFFF);
    key->clefHint = 3;
    key->cancelledFlats = 0x8000;
    key->cancelledSharps = 0x7FFF;
    add(std::move(key), 2, 3);
    add(std::make_unique<TimeSignatureItem>(99, 5, 9), 3, 1);
    add(std::make_unique<InstrumentItem>(InstrumentPatch{-1, -32768, 32767}), 1, 1);
    auto tempo = std::make_unique<TempoItem>(40, kTempoDottedQuarter);
    tempo->tempoText = "Pi\xF9 mosso";
    add(std::move(tempo), 0, 3);
    auto dynamic = std::make_unique<DynamicItem>(kDynamicFFF);
    dynamic->velocityGiven = 1;
    dynamic->volumeGiven = 1;
    dynamic->velocity = -128;
    dynamic->volume = 127;
    add(std::move(dynamic), 2, 0);
    auto controller = std::make_unique<ControllerItem>();
    controller->controller = 16;
    controller->sweepStyle = kSweepLinear;
    controller->timeUnit = 7;
    controller->sweepStep = -32768;
    controller->setPoint(0, 0, 1);
    controller->setPoint(2, 32767, -2);
    add(std::move(controller), 3, 3);
    add(std::make_unique<TempoVariationItem>(kStringendo, 255), 1, 0);
    add(std::make_unique<DynamicVariationItem>(255), 0, 2);
    add(std::make_unique<PerformanceStyleItem>(22), 2, 1);
    auto text = std::make_unique<TextItem>("Con brio");
    text->setFont(255);
    add(std::move(text), 1, 3);
    add(std::make_unique<PedalItem>(true), 3, 0);
    return items;
}

TEST(MarksTest, EveryKindRoundTrips) {
    for (const auto& item : sampleItems()) {
        SCOPED_TRACE(fields(*item));
        auto back = marktest::roundTrip(*item);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(fields(*back), fields(*item));
        auto clone = ItemFactory::cloneBySerialisation(*item);
        ASSERT_NE(clone, nullptr);
        EXPECT_NE(clone.get(), item.get());
        EXPECT_EQ(fields(*clone), fields(*item));
    }
}

TEST(MarksTest, ItemsFromOldRevisionsRoundTrip) {
    struct Case {
        int code, revision;
        Bytes record;
    };
    const Case cases[] = {
        {kClefItem, 3, Bytes().w(2)},
        {kKeySignatureItem, 2, Bytes().w(0x13).w(0).w(1)},
        {kTimeSignatureItem, 2, Bytes().w(3).w(3)},
        {kInstrumentItem, 9, Bytes().w(1).w(130).w(41)},
        {kTempoItem, 5, Bytes().w(-10).w(72).w(1).w(0x0067)},
        {kTempoItem, 1, Bytes().w(-10).w(72)},
        {kDynamicItem, 3, Bytes().w(-4).w(6)},
        {kDynamicItem, 7, Bytes().w(0xF3E5).w(100).w(90)},
        {kControllerItem, 10,
         Bytes()
             .b(0x0B)
             .w(4)
             .w(1)
             .w(3)
             .w(2)
             .w(1)
             .w(0)
             .w(10)
             .w(1)
             .w(1)
             .w(20)
             .w(0)
             .w(0)
             .w(0)
             .w(0)
             .w(0)
             .w(0)},
        {kTempoVariationItem, 11, head(0, -9, 0).b(kFermata).b(4)},
        {kTempoVariationItem, 8, Bytes().w(0xF704).w(0)},
        {kDynamicVariationItem, 10, Bytes().b(0x1A).w(0x0282)},
        {kPerformanceStyleItem, 9, Bytes().w(0xF88C)},
        {kTextItem, 10, Bytes().b(0).w(0x0F13).s("tutti")},
        {kTextItem, 16, head().b(0).s("")},
        {kPedalItem, 9, Bytes().w(-3).w(0)},
    };
    for (const Case& c : cases) {
        auto back = readRecord(c.revision, c.code, c.record);
        ASSERT_TRUE(back.result.ok) << c.code << "@" << c.revision;
        SCOPED_TRACE(fields(*back.result.item));
        auto again = marktest::roundTrip(*back.result.item);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(fields(*again), fields(*back.result.item));
    }
}

TEST(MarksTest, ShortRecordsYieldNoItem) {
    for (const auto& item : sampleItems()) {
        const std::vector<uint8_t> bytes = marktest::written(*item);
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            MemoryStream s(bytes.data(), cut);
            auto r = ItemFactory::readItem(16, s);
            EXPECT_FALSE(r.ok) << fields(*item) << " cut at " << cut;
            EXPECT_EQ(r.item, nullptr);
        }
    }
}

}  // namespace
}  // namespace scq
