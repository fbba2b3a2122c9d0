#pragma once

// Helpers for the tests of signatures, performance marks, text and pedal items: building
// records byte by byte, reading them through the factory and describing an item's stored
// fields so that two items can be compared.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "items/ItemFactory.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "stream/MemoryStream.h"

namespace scq::marktest {

// Little-endian record bytes.
struct Bytes {
    std::vector<uint8_t> data;
    Bytes& b(int v) {
        data.push_back(static_cast<uint8_t>(v & 0xFF));
        return *this;
    }
    Bytes& w(int v) { return b(v).b(v >> 8); }
    Bytes& s(const std::string& text) {
        for (char c : text) b(static_cast<unsigned char>(c));
        return b(0);
    }
    Bytes& append(const Bytes& other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
};

struct ReadBack {
    ReadItemResult result;
    int64_t consumed = 0;  // bytes the read took, type code included
    bool error = false;
    template <typename T>
    T* as() const {
        return dynamic_cast<T*>(result.item.get());
    }
};

// Reads one item (type code and record) at `revision` from the bytes.
inline ReadBack readRecord(int revision, int code, const Bytes& record) {
    Bytes all;
    all.w(code).append(record);
    MemoryStream stream(all.data.data(), all.data.size());
    ReadBack back;
    back.result = ItemFactory::readItem(revision, stream);
    back.consumed = stream.Tell();
    back.error = stream.HasError();
    return back;
}

// The bytes that writeItem produces.
inline std::vector<uint8_t> written(const NotationItem& item) {
    MemoryStream stream(1024);
    ItemFactory::writeItem(stream, item);
    return stream.Contents();
}

// writeItem, then readItem at the newest revision.
inline std::unique_ptr<NotationItem> roundTrip(const NotationItem& item) {
    const std::vector<uint8_t> bytes = written(item);
    MemoryStream stream(bytes.data(), bytes.size());
    ReadItemResult r = ItemFactory::readItem(16, stream);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(stream.Tell(), static_cast<int64_t>(bytes.size()));
    return std::move(r.item);
}

// Every stored field of the item (run-time fields included where a kind has them), as text.
inline std::string fields(const NotationItem& item) {
    std::ostringstream o;
    o << "code=" << item.typeCode() << " vis=" << item.visibility << " col=" << item.colour;
    if (auto* p = dynamic_cast<const PositionedItem*>(&item)) {
        o << " pos=" << int(p->position) << " rw=" << p->reservesWidth
          << " just=" << p->justification << " plc=" << p->placement;
    }
    if (auto* c = dynamic_cast<const ClefItem*>(&item)) {
        o << " clef=" << int(c->clefType) << " oct=" << int(c->octaveShift);
    } else if (auto* k = dynamic_cast<const KeySignatureItem*>(&item)) {
        o << " flats=" << k->flats << " sharps=" << k->sharps << " hint=" << int(k->clefHint)
          << " cflats=" << k->cancelledFlats << " csharps=" << k->cancelledSharps;
    } else if (auto* t = dynamic_cast<const TimeSignatureItem*>(&item)) {
        o << " beats=" << int(t->beatsPerBar) << " code=" << t->beatValueCode
          << " style=" << t->signatureStyle;
    } else if (auto* i = dynamic_cast<const InstrumentItem*>(&item)) {
        o << " bs=" << i->instrument.bankSelect << " bank=" << i->instrument.bank
          << " patch=" << i->instrument.patch;
    } else if (auto* te = dynamic_cast<const TempoItem*>(&item)) {
        o << " tempo=" << te->tempo << " base=" << int(te->tempoBase) << " text='" << te->tempoText
          << "'";
    } else if (auto* d = dynamic_cast<const DynamicItem*>(&item)) {
        o << " dyn=" << d->dynamic << " vg=" << d->velocityGiven << " volg=" << d->volumeGiven
          << " vel=" << int(d->velocity) << " vol=" << int(d->volume);
    } else if (auto* m = dynamic_cast<const ControllerItem*>(&item)) {
        o << " ctl=" << m->controller << " sweep=" << m->sweepStyle << " unit=" << m->timeUnit
          << " step=" << m->sweepStep;
        for (const ControllerPoint& pt : m->points) {
            o << " [" << pt.active << "," << pt.offset << "," << pt.value << "]";
        }
    } else if (auto* tv = dynamic_cast<const TempoVariationItem*>(&item)) {
        o << " kind=" << int(tv->variationKind) << " pause=" << int(tv->pauseLength)
          << " ramp=" << tv->startTempo << ">" << tv->endTempo << "/" << tv->rampTicks;
    } else if (auto* dv = dynamic_cast<const DynamicVariationItem*>(&item)) {
        o << " kind=" << int(dv->variationKind) << " target=" << int(dv->targetVelocity)
          << " ramp=" << int(dv->startVolume) << ">" << int(dv->endVolume) << "/" << dv->rampTicks;
    } else if (auto* ps = dynamic_cast<const PerformanceStyleItem*>(&item)) {
        o << " style=" << int(ps->performanceStyle);
    } else if (auto* tx = dynamic_cast<const TextItem*>(&item)) {
        o << " font=" << int(tx->textFont) << " text='" << tx->text << "'";
    } else if (auto* pd = dynamic_cast<const PedalItem*>(&item)) {
        o << " down=" << int(pd->pedalDown);
    }
    return o.str();
}

}  // namespace scq::marktest
