#include "items/ItemFactory.h"

#include "stream/MemoryStream.h"
#include "stream/SongInputStream.h"

namespace scq {
namespace ItemFactory {

std::unique_ptr<NotationItem> create(int typeCode) {
    switch (typeCode) {
        // One case per kind: `case kXxxItem: return std::make_unique<XxxItem>();`
        default:
            return nullptr;
    }
}

ReadItemResult readItem(int revision, SongInputStream& s) {
    ReadItemResult result;
    const int code = s.ReadInt16();
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
