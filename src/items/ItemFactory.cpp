#include "items/ItemFactory.h"

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "stream/MemoryStream.h"
#include "stream/SongInputStream.h"

namespace scq {
namespace ItemFactory {

std::unique_ptr<NotationItem> create(int typeCode) {
    switch (typeCode) {
        // One case per kind: `case kXxxItem: return std::make_unique<XxxItem>();`
        case kClefItem:
            return std::make_unique<ClefItem>();
        case kKeySignatureItem:
            return std::make_unique<KeySignatureItem>();
        case kInstrumentItem:
            return std::make_unique<InstrumentItem>();
        case kTimeSignatureItem:
            return std::make_unique<TimeSignatureItem>();
        case kTempoItem:
            return std::make_unique<TempoItem>();
        case kDynamicItem:
            return std::make_unique<DynamicItem>();
        case kPedalItem:
            return std::make_unique<PedalItem>();
        case kControllerItem:
            return std::make_unique<ControllerItem>();
        case kTempoVariationItem:
            return std::make_unique<TempoVariationItem>();
        case kDynamicVariationItem:
            return std::make_unique<DynamicVariationItem>();
        case kPerformanceStyleItem:
            return std::make_unique<PerformanceStyleItem>();
        case kTextItem:
            return std::make_unique<TextItem>();
        case kNoteItem:
            return std::make_unique<NoteItem>();
        case kRestItem:
            return std::make_unique<RestItem>();
        case kChordItem:
            return std::make_unique<ChordItem>();
        case kRestChordItem:
            return std::make_unique<RestChordItem>();
        case kBarLineItem:
            return std::make_unique<BarLineItem>();
        case kEndingItem:
            return std::make_unique<EndingItem>();
        case kFlowDirectionItem:
            return std::make_unique<FlowDirectionItem>();
        default:
            return nullptr;
    }
}

namespace {
// Items nest only as rest chord -> chord -> note in files the editor writes. A hostile file
// could nest chords in chords as deep as it is long; past this depth the record counts as
// damaged, so reading can never exhaust the stack.
constexpr int kMaxNesting = 8;
thread_local int nesting = 0;

struct NestingGuard {
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
};

thread_local ItemBudget* activeBudget = nullptr;
}  // namespace

ItemBudget::ItemBudget(uint64_t limit) : limit_(limit), outer_(activeBudget) {
    activeBudget = this;
}

ItemBudget::~ItemBudget() {
    activeBudget = outer_;
}

bool ItemBudget::admitOne() {
    ItemBudget* budget = activeBudget;
    if (!budget) return true;
    if (budget->limit_ != 0 && budget->made_ >= budget->limit_) {
        budget->exhausted_ = true;
        return false;
    }
    ++budget->made_;
    return true;
}

ReadItemResult readItem(int revision, SongInputStream& s) {
    ReadItemResult result;
    NestingGuard guard;
    if (nesting > kMaxNesting) {
        s.SetError();
        return result;
    }
    const int code = s.ReadInt16();
    if (code < 0 || code >= kItemTypeCount) return result;
    // Refused before it is made: past the limit nothing more is taken.
    if (!ItemBudget::admitOne()) {
        s.SetError();
        return result;
    }
    std::unique_ptr<NotationItem> item = create(code);
    if (!item) return result;
    item->readRecord(revision, s);
    if (s.HasError()) return result;
    result.ok = true;
    result.item = std::move(item);
    return result;
}

void writeItem(SongInputStream& s, const NotationItem& item) {
    s.WriteInt16(item.typeCode());
    item.writeRecord(s);
}

std::unique_ptr<NotationItem> cloneBySerialisation(const NotationItem& item) {
    MemoryStream memory(1024);
    writeItem(memory, item);
    memory.Seek(0);
    return readItem(16, memory).item;
}

}  // namespace ItemFactory
}  // namespace scq
