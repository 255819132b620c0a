#include "titemsmanager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Item {
    explicit Item(int* deaths) : deaths(deaths) {}
    ~Item() { ++*deaths; }
    int* deaths;
};

std::unique_ptr<Item> NewItem(int* deaths) { return std::make_unique<Item>(deaths); }

struct ComItem {
    int refs = 1;
    int Release() { return --refs; }
};

using ComManager = TItemsManagerCOM<ComItem>;

TEST(ItemsManager, FreedSlotIsReusedAndCountNeverShrinks) {
    int deaths = 0;
    {
        TItemsManager<Item> m;
        EXPECT_EQ(m.Add(NewItem(&deaths), "A", 1), 0);
        EXPECT_EQ(m.Add(NewItem(&deaths), "B", 2), 1);
        EXPECT_EQ(m.Add(NewItem(&deaths), "C", 1), 2);
        m.FreeItem(1);
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(m.FindByName("B"), -1);
        EXPECT_EQ(m.Add(NewItem(&deaths), "D", 3), 1);
        EXPECT_EQ(m.GetCount(), 3);
        EXPECT_EQ(m.GetName(1), "D");
        EXPECT_EQ(m.GetTag(1), 3);
        m.FreeItem(0);
        EXPECT_EQ(deaths, 2);
    }
    EXPECT_EQ(deaths, 4) << "the table disposes of what it still holds";
}

TEST(ItemsManager, ExistingNameReturnsItsIDAndDisposesOfTheNewcomer) {
    int deaths = 0;
    TItemsManager<Item> m;
    std::unique_ptr<Item> first = NewItem(&deaths);
    Item* const kept = first.get();
    m.Add(std::move(first), "TEX_TILE", 1);
    EXPECT_EQ(m.Add(NewItem(&deaths), "TEX_TILE", 7), 0);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(m.GetCount(), 1);
    EXPECT_EQ(m.GetItem(0), kept);
    EXPECT_EQ(m.GetTag(0), 1);
    m.FreeAll();
    EXPECT_EQ(deaths, 2);
}

TEST(ItemsManager, AnEmptyNameIsAnItemLikeAnyOtherNotAFreeSlot) {
    int deaths = 0;
    TItemsManager<Item> m;
    m.Add(NewItem(&deaths), "A", 0);
    m.Add(NewItem(&deaths), "B", 0);
    m.FreeItem(0);
    EXPECT_EQ(m.FindByName(""), -1) << "a free slot has no name";
    std::unique_ptr<Item> unnamed = NewItem(&deaths);
    Item* const stored = unnamed.get();
    EXPECT_EQ(m.Add(std::move(unnamed), "", 4), 0);
    EXPECT_EQ(m.GetItem(0), stored) << "stored, not dropped";
    EXPECT_EQ(m.GetTag(0), 4);
    EXPECT_EQ(m.FindByName(""), 0);
    // A second unnamed item is the same name: the first answers.
    EXPECT_EQ(m.Add(NewItem(&deaths), "", 5), 0);
    m.FreeAll();
    EXPECT_EQ(deaths, 4);
}

TEST(ItemsManager, FreeOutOfRangeRaisesTheManagersTextAndFreeSlotIsSilent) {
    int deaths = 0;
    TItemsManager<Item> m;
    for (const char* name : {"A", "B", "C"}) m.Add(NewItem(&deaths), name, 0);
    try {
        m.FreeItem(3);
        FAIL();
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "Error in TItemsManager<T>::FreeItem");
    }
    EXPECT_THROW(m.FreeItem(-1), CV2DFatalText);
    m.FreeItem(1);
    EXPECT_NO_THROW(m.FreeItem(1));
    EXPECT_EQ(deaths, 1);
    m.FreeAll();
    m.FreeAll();  // all free: clears names and tags again, nothing else
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(m.GetCount(), 3);
    for (int id = 0; id < 3; ++id) {
        EXPECT_EQ(m.GetName(id), "");
        EXPECT_EQ(m.GetTag(id), 0);
    }
}

// An item whose disposal reaches back into its table (a record unloading
// itself by ID, say) finds its slot already free, so nothing disposes of it
// twice; the sanitizer build sees any second delete.
struct SelfFreeingItem {
    SelfFreeingItem(TItemsManager<SelfFreeingItem>& table, int32_t id, int& deaths, bool& slotFreeWhenDisposed)
        : table(table), id(id), deaths(deaths), slotFreeWhenDisposed(slotFreeWhenDisposed) {}
    ~SelfFreeingItem() {
        slotFreeWhenDisposed = table.GetItem(id) == nullptr;
        // Once: a table that still held the item would come back here.
        if (++deaths == 1) table.FreeItem(id);
    }
    TItemsManager<SelfFreeingItem>& table;
    int32_t id;
    int& deaths;
    bool& slotFreeWhenDisposed;
};

TEST(ItemsManager, AnItemFreeingItsOwnSlotWhileDisposedOfIsDisposedOfOnce) {
    int deaths = 0;
    bool slotFree = false;
    TItemsManager<SelfFreeingItem> m;
    const int32_t id = m.Add(std::make_unique<SelfFreeingItem>(m, 0, deaths, slotFree), "SELF", 1);
    ASSERT_EQ(id, 0);
    m.FreeItem(id);
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(slotFree);
    m.FreeAll();
    EXPECT_EQ(deaths, 1);
}

TEST(ItemsManager, TagCursorWalksInSlotOrder) {
    int deaths = 0;
    TItemsManager<Item> m;
    Item* items[4];
    const struct {
        const char* name;
        int32_t tag;
    } adds[] = {{"A", 2}, {"B", 1}, {"C", 2}, {"D", 2}};
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<Item> item = NewItem(&deaths);
        items[i] = item.get();
        m.Add(std::move(item), adds[i].name, adds[i].tag);
    }
    Item* const a = items[0];
    Item* const b = items[1];
    Item* const d = items[3];
    m.FreeItem(2);  // C
    EXPECT_EQ(m.FirstWithTag(2), a);
    EXPECT_EQ(m.NextWithTag(), d);
    EXPECT_EQ(m.NextWithTag(), nullptr);
    EXPECT_EQ(m.GetCursor(), -1);
    EXPECT_EQ(m.NextWithTag(), nullptr) << "an ended walk stays ended";
    EXPECT_EQ(m.FirstWithTag(0), a);
    EXPECT_EQ(m.NextWithTag(), b);
    EXPECT_EQ(m.NextWithTag(), d);
    EXPECT_EQ(m.FirstWithTag(5), nullptr);
    m.FreeAll();
}

// A reference kept elsewhere is a fatal error, but the slot is free before
// it is raised: the table never releases the item a second time.
TEST(ItemsManagerCOM, StillReferencedItemRaisesAndIsNeverReleasedAgain) {
    ComItem held;
    held.refs = 2;
    ComItem single;
    ComItem duplicate;
    {
        ComManager m;
        m.Add(ComManager::ItemPtr(&held), "TEX_HELD", 0);
        m.Add(ComManager::ItemPtr(&single), "TEX_ONE", 0);
        EXPECT_EQ(m.Add(ComManager::ItemPtr(&duplicate), "TEX_ONE", 0), 1);
        EXPECT_EQ(duplicate.refs, 0) << "a newcomer under a name in use is released";
        try {
            m.FreeItem(0);
            FAIL();
        } catch (const CV2DFatalText& error) {
            EXPECT_STREQ(error.what(), "Unreleased object references left!");
        }
        EXPECT_EQ(held.refs, 1);
        EXPECT_EQ(m.GetItem(0), nullptr);
        EXPECT_EQ(m.FindByName("TEX_HELD"), -1);
        m.FreeItem(1);
        EXPECT_EQ(single.refs, 0);
        EXPECT_EQ(m.GetItem(1), nullptr);
        try {
            m.FreeItem(2);
            FAIL();
        } catch (const CV2DFatalText& error) {
            EXPECT_STREQ(error.what(), "Error in TItemsManagerCOM<T>::FreeItem");
        }
        m.FreeAll();
    }
    EXPECT_EQ(held.refs, 1) << "released once, by its one free";
    EXPECT_EQ(single.refs, 0);
}

}  // namespace
