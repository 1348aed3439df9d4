// A table of entries keyed by name: a fixed number of chained buckets plus a list of all entries in insertion
// order. The bucket array is allocated on the first insertion. Names hash case-insensitively (HashName), so
// names that differ only in letter case share a bucket, but Find matches names exactly. Each bucket chain is
// kept in ascending order of hash, an equal hash going after the entries already there. Entries are freed
// only as a whole, by Clear or destruction. Nothing here locks.
#pragma once

#include "Common/String.h"
#include "Source/Common/Memory.h"

#include <cstdint>
#include <new>
#include <utility>

namespace Zelto
{

template <typename Payload> class HashTable
{
public:
    struct Entry
    {
        Payload payload; // the caller's data
        String name;     // the key, as inserted
        Entry* prev;     // insertion order
        Entry* next;
        Entry* chainPrev; // within the bucket, ascending hash
        Entry* chainNext;
        uint32_t hash; // HashName(name)
    };

    explicit HashTable(uint32_t bucketCount) : size(bucketCount != 0 ? bucketCount : 1) {}
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
    ~HashTable() { Clear(); }

    Entry* Insert(const Payload& payload, const char16_t* name); // the new entry; null when out of memory
    Entry* Find(const char16_t* name) const; // exact, case-sensitive name; null when absent
    uint32_t Length() const { return count; }
    void Clear(); // frees every entry and the bucket array

    // Read freely; change only through the operations above.
    Entry* first = nullptr; // insertion order: first → next → ... → last
    Entry* last = nullptr;
    Entry** buckets = nullptr; // `size` chain heads, null until the first insertion
    uint32_t size;             // fixed when the table is made
    uint32_t count = 0;
};

template <typename Payload>
typename HashTable<Payload>::Entry* HashTable<Payload>::Insert(const Payload& payload, const char16_t* name)
{
    if (buckets == nullptr)
    {
        buckets = static_cast<Entry**>(Memory::Alloc(Memory::BlockSize(size, sizeof(Entry*))));
        if (buckets == nullptr)
            return nullptr;
        Memory::Set(buckets, 0, size * sizeof(Entry*));
    }
    String key(name);
    auto* entry = static_cast<Entry*>(Memory::Alloc(sizeof(Entry)));
    if (entry == nullptr || key.Length() != TextLength(name))
    {
        Memory::Free(entry);
        return nullptr;
    }
    uint32_t hash = key.HashName();
    new (entry) Entry{payload, std::move(key), last, nullptr, nullptr, nullptr, hash};

    Entry** link = &buckets[hash % size];
    while (*link != nullptr && (*link)->hash <= hash)
    {
        entry->chainPrev = *link;
        link = &(*link)->chainNext;
    }
    entry->chainNext = *link;
    if (*link != nullptr)
        (*link)->chainPrev = entry;
    *link = entry;

    if (last != nullptr)
        last->next = entry;
    else
        first = entry;
    last = entry;
    ++count;
    return entry;
}

template <typename Payload>
typename HashTable<Payload>::Entry* HashTable<Payload>::Find(const char16_t* name) const
{
    if (buckets == nullptr)
        return nullptr;
    if (name == nullptr)
        name = u"";
    uint32_t hash = HashName(name);
    Entry* entry = buckets[hash % size];
    while (entry != nullptr && entry->hash < hash)
        entry = entry->chainNext;
    for (; entry != nullptr && entry->hash == hash; entry = entry->chainNext)
        if (entry->name.Equals(name))
            return entry;
    return nullptr;
}

template <typename Payload> void HashTable<Payload>::Clear()
{
    for (Entry* entry = first; entry != nullptr;)
    {
        Entry* next = entry->next;
        entry->~Entry();
        Memory::Free(entry);
        entry = next;
    }
    Memory::Free(buckets);
    buckets = nullptr;
    first = last = nullptr;
    count = 0;
}

} // namespace Zelto
