// The profile records' table.
#include "Source/Script/ProfileRecords.h"

#include "Source/Common/Memory.h"

#include <new>

namespace Zelto
{

ProfileRecord* ProfileRecords::Find(uintptr_t key) const
{
    if (mBuckets == nullptr)
        return nullptr;
    ProfileRecord* record = mBuckets[key % BucketCount];
    while (record != nullptr && record->key < key)
        record = record->chainNext;
    return record != nullptr && record->key == key ? record : nullptr;
}

ProfileRecord* ProfileRecords::Add(uintptr_t key, const String& name, bool native, const String& source,
                                   int32_t line)
{
    if (mBuckets == nullptr)
    {
        mBuckets = static_cast<ProfileRecord**>(
            Memory::Alloc(Memory::BlockSize(BucketCount, sizeof(ProfileRecord*))));
        if (mBuckets == nullptr)
            return nullptr;
        Memory::Set(mBuckets, 0, BucketCount * sizeof(ProfileRecord*));
    }
    ProfileRecord** link = &mBuckets[key % BucketCount];
    while (*link != nullptr && (*link)->key < key)
        link = &(*link)->chainNext;
    if (*link != nullptr && (*link)->key == key)
        return *link;

    auto* record = static_cast<ProfileRecord*>(Memory::Alloc(sizeof(ProfileRecord)));
    if (record == nullptr)
        return nullptr;
    new (record) ProfileRecord{name, key, native, source, line, 0, 0, nullptr, *link};
    *link = record;
    if (mLast != nullptr)
        mLast->next = record;
    else
        mFirst = record;
    mLast = record;
    return record;
}

void ProfileRecords::Clear()
{
    for (ProfileRecord* record = mFirst; record != nullptr;)
    {
        ProfileRecord* next = record->next;
        record->~ProfileRecord();
        Memory::Free(record);
        record = next;
    }
    Memory::Free(mBuckets);
    mBuckets = nullptr;
    mFirst = mLast = nullptr;
}

} // namespace Zelto
