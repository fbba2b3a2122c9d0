#include "items/ItemFactory.h"

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/ItemArena.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "stream/MemoryStream.h"
#include "stream/SongInputStream.h"

namespace scq {
namespace ItemFactory {

namespace {
template <class T>
std::unique_ptr<NotationItem> make() {
    if (ItemArena* arena = ItemArenaScope::active()) return arena->make<T>();
    return std::make_unique<T>();
}
}  // namespace

std::unique_ptr<NotationItem> create(int typeCode) {
    switch (typeCode) {
        // One case per kind: `case kXxxItem: return make<XxxItem>();`
        case kClefItem:
            return make<ClefItem>();
        case kKeySignatureItem:
            return make<KeySignatureItem>();
        case kInstrumentItem:
            return make<InstrumentItem>();
        case kTimeSignatureItem:
            return make<TimeSignatureItem>();
        case kTempoItem:
            return make<TempoItem>();
        case kDynamicItem:
            return make<DynamicItem>();
        case kPedalItem:
            return make<PedalItem>();
        case kControllerItem:
            return make<ControllerItem>();
        case kTempoVariationItem:
            return make<TempoVariationItem>();
        case kDynamicVariationItem:
            return make<DynamicVariationItem>();
        case kPerformanceStyleItem:
            return make<PerformanceStyleItem>();
        case kTextItem:
            return make<TextItem>();
        case kNoteItem:
            return make<NoteItem>();
        case kRestItem:
            return make<RestItem>();
        case kChordItem:
            return make<ChordItem>();
        case kRestChordItem:
            return make<RestChordItem>();
        case kBarLineItem:
            return make<BarLineItem>();
        case kEndingItem:
            return make<EndingItem>();
        case kFlowDirectionItem:
            return make<FlowDirectionItem>();
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
    // The copy is the caller's, on the heap, whatever arena is in use.
    ItemArenaScope heap(nullptr);
    MemoryStream memory(1024);
    writeItem(memory, item);
    memory.Seek(0);
    return readItem(16, memory).item;
}

}  // namespace ItemFactory
}  // namespace scq
