#include "song/Staff.h"

#include <algorithm>

#include "items/BarsAndFlow.h"
#include "items/ItemFactory.h"
#include "staff/Audit.h"
#include "staff/StemRule.h"

namespace scq {

namespace {
constexpr int kNewStaffRoom = 1025;
// The largest room reserved up front; lists longer than this simply grow.
constexpr int kMaxReservedRoom = 1024;
}  // namespace

Staff::Staff() {
    items_.reserve(kNewStaffRoom);
    codes_.reserve(kNewStaffRoom);
    appendItem(std::make_unique<BarLineItem>(kBarSingle, 1));
    appendItem(std::make_unique<BarLineItem>(kBarSectionClose, 1));
}

Staff::Staff(Unfilled) {}

Staff::~Staff() {
    clearItems();
    items_.shrink_to_fit();
    codes_.shrink_to_fit();
    lyrics.reset();
}

void Staff::makeRoomForOne() {
    const auto grow = [](auto& list) {
        if (list.size() == list.capacity()) list.reserve(std::max<size_t>(16, list.size() * 2));
    };
    grow(items_);
    grow(codes_);
}

void Staff::insertItemAt(std::unique_ptr<NotationItem> item, int index) {
    if (!item) return;
    index = std::clamp(index, 0, itemCount());
    const auto code = static_cast<int8_t>(item->typeCode());
    makeRoomForOne();
    items_.insert(items_.begin() + index, std::move(item));
    codes_.insert(codes_.begin() + index, code);
}

void Staff::reserveItems(int room) {
    room = std::min(room, kMaxReservedRoom);
    if (room > 0) {
        items_.reserve(static_cast<size_t>(room));
        codes_.reserve(static_cast<size_t>(room));
    }
}

void Staff::clearItems() {
    while (!items_.empty()) items_.pop_back();
    codes_.clear();
    // Only the list held items of the arena (removeItem hands out copies), so none is left.
    arena_.clear();
}

void Staff::insertItem(std::unique_ptr<NotationItem> item, int index) {
    if (!item) return;
    index = std::clamp(index, 0, itemCount());
    const bool duration = item->hasDuration();
    insertItemAt(std::move(item), index);
    // The stem rule looks at the item's own stem direction and leaves a set one alone.
    if (duration) applyAutomaticStem(*this, index);
    auditAround(*this, index, -1);
}

std::unique_ptr<NotationItem> Staff::removeItem(int index) {
    if (index <= 0 || index >= lastItemIndex()) return nullptr;
    std::unique_ptr<NotationItem> item = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    codes_.erase(codes_.begin() + index);
    auditAround(*this, index, -1);
    if (item->arenaHeld()) item = ItemFactory::cloneBySerialisation(*item);
    return item;
}

void Staff::deleteItems(int first, int last) {
    last = std::min(last, lastItemIndex() - 1);
    if (first <= 0 || last < first) return;
    for (int i = last; i >= first; --i) items_[static_cast<size_t>(i)].reset();
    items_.erase(items_.begin() + first, items_.begin() + last + 1);
    codes_.erase(codes_.begin() + first, codes_.begin() + last + 1);
}

void Staff::setEndingBar(int value) {
    endingBar = static_cast<uint8_t>(value);
    if (items_.empty()) return;
    if (auto* bar = dynamic_cast<BarLineItem*>(items_.back().get())) {
        bar->restyleFromEndingBar(endingBar);
    }
}

void Staff::clampBoundaries() {
    const int lines = lineCount;
    if (upperBoundary > -lines) {
        upperBoundary = -lines;
    } else if (upperBoundary < -100) {
        upperBoundary = -100;
    }
    if (lowerBoundary < lines) {
        lowerBoundary = lines;
    } else if (lowerBoundary > 100) {
        lowerBoundary = 100;
    }
}

}  // namespace scq
