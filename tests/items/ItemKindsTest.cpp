// The walks call an item's operations directly for the class that its type code names, and
// tell from the code whether it has a duration. That is exact only while every item of a code
// is of exactly that class, never of a class derived from it: checked here for every kind the
// factory makes.

#include <gtest/gtest.h>

#include <memory>
#include <typeindex>
#include <typeinfo>

#include "items/ItemFactory.h"
#include "items/ItemKinds.h"

namespace scq::test {
namespace {

TEST(ItemKinds, EveryCodeNamesTheItemsOwnClass) {
    for (int code = 0; code < kItemTypeCount; ++code) {
        std::unique_ptr<NotationItem> item = ItemFactory::create(code);
        ASSERT_TRUE(item) << code;
        ASSERT_EQ(item->typeCode(), code);
        const std::type_index visited = VisitItemKind(
            *item, code, [](auto& x) { return std::type_index(typeid(KindOf<decltype(x)>)); });
        const NotationItem& made = *item;
        EXPECT_EQ(visited, std::type_index(typeid(made))) << code;
        EXPECT_EQ(KindHasDuration(code), item->hasDuration()) << code;
    }
}

}  // namespace
}  // namespace scq::test
