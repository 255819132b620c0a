// Slot tables of owned items addressed by small integer IDs. A freed slot is
// reused by the next add; names make loads idempotent; tags group items for
// loading and unloading.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

template <typename T>
class TItemsManager {
public:
    TItemsManager() = default;
    // Owners free their items (FreeAll) before the manager goes away.
    ~TItemsManager() = default;
    TItemsManager(const TItemsManager&) = delete;
    TItemsManager& operator=(const TItemsManager&) = delete;

    int32_t GetCount() const { return m_iCount; }

    // Lowest ID whose name equals `name` byte for byte (free slots have the
    // empty name), or -1.
    // Slots in use only: a free slot has no name, not the empty one.
    int32_t FindByName(const char* name) const {
        for (int32_t id = 0; id < m_iCount; ++id)
            if (m_items[id] != nullptr && std::strcmp(m_names[id].c_str(), name) == 0) return id;
        return -1;
    }
    int32_t FindByName(const std::string& name) const { return FindByName(name.c_str()); }

    // The add pattern: an existing name answers with its ID and stores
    // nothing (the caller keeps ownership of `item` then); otherwise the
    // first free slot, or a new one at the end.
    int32_t Add(T* item, const std::string& name, int32_t tag) {
        const int32_t existing = FindByName(name);
        if (existing >= 0) return existing;
        for (int32_t id = 0; id < m_iCount; ++id) {
            if (m_items[id] == nullptr) {
                m_items[id] = item;
                m_names[id] = name;
                m_tags[id] = tag;
                return id;
            }
        }
        m_items.push_back(item);
        m_tags.push_back(tag);
        m_names.push_back(name);
        return m_iCount++;
    }

    bool IsValidID(int32_t id) const { return id >= 0 && id < m_iCount && m_items[id] != nullptr; }
    // The item in a slot, or null for a free or unknown slot.
    T* GetItem(int32_t id) const { return id >= 0 && id < m_iCount ? m_items[id] : nullptr; }
    const std::string& GetName(int32_t id) const { return m_names[id]; }
    int32_t GetTag(int32_t id) const { return m_tags[id]; }

    virtual void FreeItem(int32_t id) {
        if (id < 0 || id >= m_iCount) throw "Error in TItemsManager<T>::FreeItem";
        delete m_items[id];
        ClearSlot(id);
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
    void ClearSlot(int32_t id) {
        m_items[id] = nullptr;
        m_names[id].clear();
        m_tags[id] = 0;
    }

    int32_t m_iCount = 0;
    std::vector<T*> m_items;
    std::vector<int32_t> m_tags;
    std::vector<std::string> m_names;

private:
    T* ScanFrom(int32_t start) {
        for (int32_t id = start; id < m_iCount; ++id) {
            if (m_items[id] != nullptr && (m_iTagFilter == 0 || m_tags[id] == m_iTagFilter)) {
                m_iCursor = id;
                return m_items[id];
            }
        }
        m_iCursor = -1;
        return nullptr;
    }

    int32_t m_iTagFilter = 0;
    int32_t m_iCursor = 0;
};

// For reference-counted device objects: released, not deleted.
template <typename T>
class TItemsManagerCOM : public TItemsManager<T> {
public:
    void FreeItem(int32_t id) override {
        if (id < 0 || id >= this->m_iCount) throw "Error in TItemsManagerCOM<T>::FreeItem";
        if (T* item = this->m_items[id]) {
            if (item->Release() > 0) throw "Unreleased object references left!";
        }
        this->ClearSlot(id);
    }
};
