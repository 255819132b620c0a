// Slot tables of owned items addressed by small integer IDs. A freed slot is
// reused by the next add; names make loads idempotent; tags group items for
// loading and unloading.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "cvelmor_ehs.h"

template <typename T, typename Disposer = std::default_delete<T>>
class TItemsManager {
public:
    // How a slot owns its item; Add takes one.
    using ItemPtr = std::unique_ptr<T, Disposer>;

    // An item's disposal runs while its slot is already free, and cannot
    // leave the table half-cleared by raising.
    static_assert(std::is_nothrow_destructible<T>::value, "items must not raise from their destructors");

    TItemsManager() = default;
    // Items still held are disposed of with the table; owners free them
    // (FreeAll) first where the order matters.
    virtual ~TItemsManager() = default;
    TItemsManager(const TItemsManager&) = delete;
    TItemsManager& operator=(const TItemsManager&) = delete;

    int32_t GetCount() const { return m_iCount; }

    // Lowest ID in use whose name equals `name` byte for byte, or -1.
    // Slots in use only: a free slot has no name, not the empty one.
    int32_t FindByName(const char* name) const {
        for (int32_t id = 0; id < m_iCount; ++id)
            if (m_items[id] != nullptr && std::strcmp(m_names[id].c_str(), name) == 0) return id;
        return -1;
    }
    int32_t FindByName(const std::string& name) const { return FindByName(name.c_str()); }

    // The add pattern: an existing name answers with its ID and stores
    // nothing (the newcomer is disposed of); otherwise the first free slot,
    // or a new one at the end.
    int32_t Add(ItemPtr item, const std::string& name, int32_t tag) {
        const int32_t existing = FindByName(name);
        if (existing >= 0) return existing;
        for (int32_t id = 0; id < m_iCount; ++id) {
            if (m_items[id] == nullptr) {
                m_items[id] = std::move(item);
                m_names[id] = name;
                m_tags[id] = tag;
                return id;
            }
        }
        m_items.push_back(std::move(item));
        m_tags.push_back(tag);
        m_names.push_back(name);
        return m_iCount++;
    }

    bool IsValidID(int32_t id) const { return id >= 0 && id < m_iCount && m_items[id] != nullptr; }
    // The item in a slot, or null for a free or unknown slot; the table
    // keeps it.
    T* GetItem(int32_t id) const { return id >= 0 && id < m_iCount ? m_items[id].get() : nullptr; }
    const std::string& GetName(int32_t id) const { return m_names[id]; }
    int32_t GetTag(int32_t id) const { return m_tags[id]; }

    virtual void FreeItem(int32_t id) {
        if (id < 0 || id >= m_iCount) throw CV2DFatalText("Error in TItemsManager<T>::FreeItem");
        // Disposed of once no slot names it any more: whatever the disposal
        // reaches finds the slot free.
        TakeSlot(id).reset();
    }

    void FreeAll() {
        for (int32_t id = 0; id < m_iCount; ++id) FreeItem(id);
    }

    // Tag cursor: tag 0 matches any item in use.
    T* FirstWithTag(int32_t tag) {
        m_iTagFilter = tag;
        return ScanFrom(0);
    }
    T* NextWithTag() {
        if (m_iCursor == -1 || m_iCursor >= m_iCount) return nullptr;
        return ScanFrom(m_iCursor + 1);
    }
    // Slot of the item the cursor stands on, or -1.
    int32_t GetCursor() const { return m_iCursor; }

protected:
    // Empties a slot and hands over its item (null for a free slot).
    ItemPtr TakeSlot(int32_t id) {
        ItemPtr item = std::move(m_items[id]);
        m_names[id].clear();
        m_tags[id] = 0;
        return item;
    }

    int32_t m_iCount = 0;

private:
    T* ScanFrom(int32_t start) {
        for (int32_t id = start; id < m_iCount; ++id) {
            if (m_items[id] != nullptr && (m_iTagFilter == 0 || m_tags[id] == m_iTagFilter)) {
                m_iCursor = id;
                return m_items[id].get();
            }
        }
        m_iCursor = -1;
        return nullptr;
    }

    std::vector<ItemPtr> m_items;
    std::vector<int32_t> m_tags;
    std::vector<std::string> m_names;
    int32_t m_iTagFilter = 0;
    int32_t m_iCursor = 0;
};

// Reference-counted device objects are released, not deleted.
template <typename T>
struct TReleaseItem {
    void operator()(T* item) const noexcept { item->Release(); }
};

template <typename T>
class TItemsManagerCOM : public TItemsManager<T, TReleaseItem<T>> {
public:
    // The slot is free before the release: a reference left elsewhere is a
    // fatal error, but the table never releases the item a second time.
    void FreeItem(int32_t id) override {
        if (id < 0 || id >= this->m_iCount) throw CV2DFatalText("Error in TItemsManagerCOM<T>::FreeItem");
        T* item = this->TakeSlot(id).release();
        if (item && item->Release() > 0) throw CV2DFatalText("Unreleased object references left!");
    }
};
