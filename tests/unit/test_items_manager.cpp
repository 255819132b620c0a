#include "titemsmanager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Item {
    explicit Item(int* deaths) : deaths(deaths) {}
    ~Item() { ++*deaths; }
    int* deaths;
};

struct ComItem {
    int refs = 1;
    int Release() { return --refs; }
};

TEST(ItemsManager, FreedSlotIsReusedAndCountNeverShrinks) {
    int deaths = 0;
    TItemsManager<Item> m;
    EXPECT_EQ(m.Add(new Item(&deaths), "A", 1), 0);
    EXPECT_EQ(m.Add(new Item(&deaths), "B", 2), 1);
    EXPECT_EQ(m.Add(new Item(&deaths), "C", 1), 2);
    m.FreeItem(1);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(m.FindByName("B"), -1);
    EXPECT_EQ(m.Add(new Item(&deaths), "D", 3), 1);
    EXPECT_EQ(m.GetCount(), 3);
    EXPECT_EQ(m.GetName(1), "D");
    EXPECT_EQ(m.GetTag(1), 3);
    m.FreeAll();
    EXPECT_EQ(deaths, 4);
}

TEST(ItemsManager, ExistingNameReturnsItsIDAndStoresNothing) {
    int deaths = 0;
    TItemsManager<Item> m;
    Item* first = new Item(&deaths);
    m.Add(first, "TEX_TILE", 1);
    Item second(&deaths);
    EXPECT_EQ(m.Add(&second, "TEX_TILE", 7), 0);
    EXPECT_EQ(m.GetCount(), 1);
    EXPECT_EQ(m.GetItem(0), first);
    EXPECT_EQ(m.GetTag(0), 1);
    m.FreeAll();
}

TEST(ItemsManager, AnEmptyNameIsAnItemLikeAnyOtherNotAFreeSlot) {
    int deaths = 0;
    TItemsManager<Item> m;
    m.Add(new Item(&deaths), "A", 0);
    m.Add(new Item(&deaths), "B", 0);
    m.FreeItem(0);
    EXPECT_EQ(m.FindByName(""), -1) << "a free slot has no name";
    Item* unnamed = new Item(&deaths);
    EXPECT_EQ(m.Add(unnamed, "", 4), 0);
    EXPECT_EQ(m.GetItem(0), unnamed) << "stored, not dropped";
    EXPECT_EQ(m.GetTag(0), 4);
    EXPECT_EQ(m.FindByName(""), 0);
    // A second unnamed item is the same name: the first answers.
    Item other(&deaths);
    EXPECT_EQ(m.Add(&other, "", 5), 0);
    m.FreeAll();
    EXPECT_EQ(deaths, 3);
}

TEST(ItemsManager, FreeOutOfRangeRaisesTheManagersTextAndFreeSlotIsSilent) {
    int deaths = 0;
    TItemsManager<Item> m;
    for (const char* name : {"A", "B", "C"}) m.Add(new Item(&deaths), name, 0);
    try {
        m.FreeItem(3);
        FAIL();
    } catch (const char* text) {
        EXPECT_STREQ(text, "Error in TItemsManager<T>::FreeItem");
    }
    EXPECT_THROW(m.FreeItem(-1), const char*);
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

TEST(ItemsManager, TagCursorWalksInSlotOrder) {
    int deaths = 0;
    TItemsManager<Item> m;
    Item* a = new Item(&deaths);
    Item* b = new Item(&deaths);
    Item* c = new Item(&deaths);
    Item* d = new Item(&deaths);
    m.Add(a, "A", 2);
    m.Add(b, "B", 1);
    m.Add(c, "C", 2);
    m.Add(d, "D", 2);
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

TEST(ItemsManagerCOM, StillReferencedItemRaisesAndKeepsItsSlot) {
    TItemsManagerCOM<ComItem> m;
    ComItem held;
    held.refs = 2;
    ComItem single;
    m.Add(&held, "TEX_HELD", 0);
    m.Add(&single, "TEX_ONE", 0);
    try {
        m.FreeItem(0);
        FAIL();
    } catch (const char* text) {
        EXPECT_STREQ(text, "Unreleased object references left!");
    }
    EXPECT_EQ(m.GetItem(0), &held);
    EXPECT_EQ(m.GetName(0), "TEX_HELD");
    m.FreeItem(1);
    EXPECT_EQ(single.refs, 0);
    EXPECT_EQ(m.GetItem(1), nullptr);
    try {
        m.FreeItem(2);
        FAIL();
    } catch (const char* text) {
        EXPECT_STREQ(text, "Error in TItemsManagerCOM<T>::FreeItem");
    }
}

}  // namespace
