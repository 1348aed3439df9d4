// The containers of the common library: growth, ownership of elements, order, and the checks they report.
#include "Common/Array.h"
#include "Common/DataBuffer.h"
#include "Common/HashTable.h"
#include "Common/Link.h"
#include "Common/Log.h"
#include "Common/Queue.h"
#include "Common/Stack.h"
#include "Common/String.h"
#include "Source/Common/Memory.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Zelto;

namespace
{

// Collects what reaches the error channel while it lives, so that a test can read the assertion reports.
class ErrorCapture
{
public:
    ErrorCapture() : mSaved(ErrorSink()) { ErrorSink() = LogSink{Write, &mText}; }
    ~ErrorCapture() { ErrorSink() = mSaved; }

    bool Reported(const std::u16string& expression, const std::u16string& place) const
    {
        return mText.find(u"Assertion Failed : " + expression + u"\r\n" + place) != std::u16string::npos;
    }
    bool Empty() const { return mText.empty(); }

private:
    static int Write(const char16_t* text, void* context, int lineBreak)
    {
        static_cast<std::u16string*>(context)->append(text);
        return 1;
    }

    LogSink mSaved;
    std::u16string mText;
};

template <typename T> std::vector<T> Items(const Array<T>& array)
{
    return std::vector<T>(array.begin(), array.end());
}

} // namespace

// -- Array --

TEST(Array, FirstAddAllocatesSixteenSlotsThenFullArraysDouble)
{
    Array<int32_t> array;
    EXPECT_EQ(array.items, nullptr);
    EXPECT_EQ(array.capacity, 0u);
    for (int32_t i = 0; i < 65; ++i)
    {
        ASSERT_EQ(array.Add(i * 10), i);
        uint32_t expected = i < 16 ? 16 : i < 32 ? 32 : i < 64 ? 64 : 128;
        EXPECT_EQ(array.capacity, expected) << "after add " << i + 1;
    }
    EXPECT_EQ(array.Length(), 65u);
    for (int32_t i = 0; i < 65; ++i)
        EXPECT_EQ(array[i], i * 10);

    array.Clear();
    EXPECT_EQ(array.Length(), 0u);
    EXPECT_EQ(array.capacity, 128u); // the block stays
}

TEST(Array, InsertMovesLaterElementsUp)
{
    struct Case
    {
        int32_t index;
        int32_t result;
        std::vector<int32_t> after;
    };
    const Case cases[] = {
        {0, 0, {99, 10, 20, 30}}, {1, 1, {10, 99, 20, 30}},
        {2, 2, {10, 20, 99, 30}}, {3, 3, {10, 20, 30, 99}}, // index = count appends
        {4, -1, {10, 20, 30}},                              // beyond the end: nothing
        {-1, -1, {10, 20, 30}},
    };
    for (const Case& c : cases)
    {
        Array<int32_t> array;
        for (int32_t value : {10, 20, 30})
            array.Add(value);
        EXPECT_EQ(array.Insert(c.index, 99), c.result) << "index " << c.index;
        EXPECT_EQ(Items(array), c.after) << "index " << c.index;
    }
}

TEST(Array, InsertIntoAFullArrayGrowsFirst)
{
    Array<int32_t> array;
    std::vector<int32_t> expected;
    for (int32_t i = 0; i < 16; ++i)
    {
        array.Add(i);
        expected.push_back(i);
    }
    ASSERT_EQ(array.capacity, 16u);
    EXPECT_EQ(array.Insert(5, -5), 5);
    expected.insert(expected.begin() + 5, -5);
    EXPECT_EQ(array.capacity, 32u);
    EXPECT_EQ(Items(array), expected);
}

TEST(Array, OwnsCopiesOfItsStrings)
{
    Array<String> names;
    String name(u"first");
    names.Add(name);
    name.Assign(u"changed");
    for (int i = 0; i < 40; ++i) // several growths move the strings bit-wise
        names.Add(String(u"more"));
    EXPECT_EQ(Text(names[0]), u"first");
    EXPECT_EQ(Text(names[40]), u"more");

    Array<String> copy(names);
    copy[0].Assign(u"copy");
    EXPECT_EQ(Text(names[0]), u"first");
    EXPECT_EQ(copy.Length(), 41u);

    Array<String> moved(static_cast<Array<String>&&>(copy));
    EXPECT_EQ(copy.Length(), 0u);
    EXPECT_EQ(Text(moved[0]), u"copy");

    names = moved;
    EXPECT_EQ(Text(names[0]), u"copy");
    names.Clear(); // destroys the strings; the sanitizer build reports any that leak
    EXPECT_EQ(names.Length(), 0u);
}

// The value added may be one of the array's own elements, which growth or the shift would otherwise move
// away.
TEST(Array, AddAndInsertTakeAValueFromTheSameArray)
{
    Array<String> array;
    for (const char16_t* text :
         {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j", u"k", u"l", u"m", u"n", u"o", u"p"})
        array.Add(String(text));
    ASSERT_EQ(array.capacity, array.Length());
    array.Add(array[2]); // grows while copying from the old block
    EXPECT_EQ(Text(array[16]), u"c");
    array.Insert(0, array[3]); // shifts the element it copies from
    EXPECT_EQ(Text(array[0]), u"d");
    EXPECT_EQ(Text(array[4]), u"d");
    EXPECT_EQ(Text(array[1]), u"a");
}

TEST(Array, InvalidIndexIsReportedAndYieldsAnEmptyElement)
{
    struct Case
    {
        int32_t index;
        bool writable;
        const char16_t* place;
    };
    const Case cases[] = {
        {3, false, u"Common/Array:100"},
        {-1, false, u"Common/Array:100"},
        {3, true, u"Common/Array:102"},
        {1000, true, u"Common/Array:102"},
    };
    for (const Case& c : cases)
    {
        Array<int32_t> array;
        for (int32_t value : {1, 2, 3})
            array.Add(value);
        ErrorCapture errors;
        if (c.writable)
        {
            int32_t& missing = array[c.index];
            EXPECT_EQ(missing, 0);
            missing = 42; // lands nowhere that matters
            EXPECT_EQ(array[c.index], 0);
        }
        else
        {
            const Array<int32_t>& constant = array;
            EXPECT_EQ(constant[c.index], 0);
        }
        EXPECT_TRUE(errors.Reported(u"IsIndexValid( index )", c.place)) << "index " << c.index;
        EXPECT_EQ(Items(array), (std::vector<int32_t>{1, 2, 3}));
    }
    Array<String> strings;
    ErrorCapture errors;
    EXPECT_EQ(Text(strings[0]), u"");
}

TEST(Array, ValidIndexReportsNothing)
{
    Array<int32_t> array;
    array.Add(7);
    ErrorCapture errors;
    EXPECT_EQ(array[0], 7);
    EXPECT_TRUE(errors.Empty());
}

// A block whose byte size does not fit 32 bits must fail to allocate, not wrap round to a small block.
TEST(Array, BlockTooLargeToAllocateLeavesTheArrayUnchanged)
{
    struct Huge
    {
        uint8_t bytes[0x10000000]; // 16 slots are 2^32 bytes
    };
    auto* huge = static_cast<Huge*>(Memory::Alloc(sizeof(Huge))); // one fits; its bytes are never read
    ASSERT_NE(huge, nullptr);
    Array<Huge> array;
    EXPECT_EQ(array.Add(*huge), -1);
    EXPECT_EQ(array.capacity, 0u);
    EXPECT_EQ(array.Length(), 0u);
    EXPECT_EQ(array.items, nullptr);
    Memory::Free(huge);
}

// -- SortedArray --

TEST(SortedArray, AddSortedPlacesPairsByMode)
{
    struct Case
    {
        const char* name;
        SortMode mode;
        std::vector<int32_t> keys;    // added in this order, each with its position as value
        std::vector<int32_t> indices; // what each AddSorted returned
        std::vector<std::pair<int32_t, int32_t>> after;
    };
    const Case cases[] = {
        {"unsorted appends", SortMode::Unsorted, {5, 1, 3}, {0, 1, 2}, {{5, 0}, {1, 1}, {3, 2}}},
        {"ascending", SortMode::Ascending, {5, 1, 3}, {0, 0, 1}, {{1, 1}, {3, 2}, {5, 0}}},
        {"equal key goes next to its twin",
         SortMode::Ascending,
         {5, 1, 3, 3},
         {0, 0, 1, 2},
         {{1, 1}, {3, 2}, {3, 3}, {5, 0}}},
        {"descending", SortMode::Descending, {5, 1, 3, 3}, {0, 1, 1, 2}, {{5, 0}, {3, 2}, {3, 3}, {1, 1}}},
        {"ascending, many",
         SortMode::Ascending,
         {50, 10, 40, 20, 30, 60, 0},
         {0, 0, 1, 1, 2, 5, 0},
         {{0, 6}, {10, 1}, {20, 3}, {30, 4}, {40, 2}, {50, 0}, {60, 5}}},
        {"descending, many",
         SortMode::Descending,
         {50, 10, 40, 20, 30, 60, 0},
         {0, 1, 1, 2, 2, 0, 6},
         {{60, 5}, {50, 0}, {40, 2}, {30, 4}, {20, 3}, {10, 1}, {0, 6}}},
        // An equal key lands after the equal element the bisection meets, not after the whole run.
        {"run of equal keys",
         SortMode::Ascending,
         {3, 3, 3, 3},
         {0, 1, 2, 2},
         {{3, 0}, {3, 1}, {3, 3}, {3, 2}}},
        {"negative keys",
         SortMode::Ascending,
         {-1, -7, 2, -7},
         {0, 0, 2, 1},
         {{-7, 1}, {-7, 3}, {-1, 0}, {2, 2}}},
    };
    for (const Case& c : cases)
    {
        SortedArray<int32_t, int32_t> array(c.mode);
        std::vector<int32_t> indices;
        for (size_t i = 0; i < c.keys.size(); ++i)
            indices.push_back(array.AddSorted(c.keys[i], int32_t(i)));
        std::vector<std::pair<int32_t, int32_t>> after;
        for (const auto& pair : array)
            after.emplace_back(pair.key, pair.value);
        EXPECT_EQ(indices, c.indices) << c.name;
        EXPECT_EQ(after, c.after) << c.name;
    }
}

TEST(SortedArray, FloatKeysBisectTheSameWay)
{
    SortedArray<float, const char*> array(SortMode::Descending);
    array.AddSorted(1.5f, "b");
    array.AddSorted(2.5f, "a");
    array.AddSorted(0.25f, "d");
    array.AddSorted(1.5f, "c");
    std::string order;
    for (const auto& pair : array)
        order += pair.value;
    EXPECT_EQ(order, "abcd");
}

// -- Stack --

TEST(Stack, PopsInReverseOrderAcrossGrowth)
{
    Stack<String> stack;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(stack.Push(String(std::u16string(size_t(i + 1), u'x').c_str())), i);
    EXPECT_EQ(stack.capacity, 32u);
    EXPECT_EQ(stack.Top().Length(), 20u);
    for (uint32_t length = 20; length > 0; --length)
    {
        EXPECT_EQ(stack.Length(), length);
        EXPECT_EQ(stack.Pop().Length(), length);
    }
    EXPECT_EQ(stack.mLength, 0u);
    stack.Push(String(u"left")); // freed by the destructor
}

TEST(Stack, TopAndPopOfAnEmptyStackAreReported)
{
    Stack<int32_t*> stack;
    {
        ErrorCapture errors;
        EXPECT_EQ(stack.Top(), nullptr);
        EXPECT_TRUE(errors.Reported(u"mLength > 0", u"Common/Stack:105"));
    }
    {
        ErrorCapture errors;
        EXPECT_EQ(stack.Pop(), nullptr);
        EXPECT_TRUE(errors.Reported(u"mLength > 0", u"Common/Stack:107"));
    }
    EXPECT_EQ(stack.mLength, 0u);
}

// -- Queue --

TEST(Queue, KeepsOrderWhenGrowingAWrappedRing)
{
    Queue<int32_t> queue;
    int32_t next = 0;
    for (int i = 0; i < 16; ++i)
        queue.Push(next++);
    for (int i = 0; i < 10; ++i)
        queue.Pop();
    for (int i = 0; i < 10; ++i)
        queue.Push(next++);
    EXPECT_EQ(queue.capacity, 16u);
    EXPECT_EQ(queue.mFront, 10u);
    EXPECT_EQ(queue.back, 9u); // wrapped: (10 + 16) mod 17

    queue.Push(next++); // the 17th live element
    EXPECT_EQ(queue.capacity, 32u);
    EXPECT_EQ(queue.mFront, 0u);
    EXPECT_EQ(queue.back, 17u);
    for (int32_t expected = 10; expected < next; ++expected)
    {
        EXPECT_EQ(queue.Front(), expected);
        queue.Pop();
    }
    EXPECT_EQ(queue.Length(), 0u);
}

TEST(Queue, FrontOfAnEmptyQueueIsReported)
{
    Queue<int32_t> queue;
    for (int round = 0; round < 2; ++round) // never filled, then emptied
    {
        ErrorCapture errors;
        EXPECT_EQ(queue.Front(), 0);
        EXPECT_TRUE(errors.Reported(u"IsIndexValid( mFront )", u"Common/Queue:117"));
        queue.Push(5);
        queue.Pop();
        queue.Pop(); // popping an empty queue does nothing
        EXPECT_EQ(queue.Length(), 0u);
    }
}

TEST(Queue, IsIndexValidFollowsTheOccupiedSlots)
{
    Queue<int32_t> queue;
    for (int i = 0; i < 16; ++i)
        queue.Push(i);
    for (int i = 0; i < 14; ++i)
        queue.Pop();
    queue.Push(16);
    queue.Push(17); // occupied: 14, 15, 16 and 0
    std::vector<uint32_t> occupied;
    for (uint32_t index = 0; index <= queue.capacity + 1; ++index)
        if (queue.IsIndexValid(index))
            occupied.push_back(index);
    EXPECT_EQ(occupied, (std::vector<uint32_t>{0, 14, 15, 16}));
}

TEST(Queue, OwnsItsStrings)
{
    Queue<String> queue;
    for (int i = 0; i < 20; ++i)
        queue.Push(String(u"text"));
    queue.Push(queue.Front()); // grows while copying from the old ring
    EXPECT_EQ(queue.Length(), 21u);
    queue.Pop();
    queue.Clear();
    EXPECT_EQ(queue.mFront, 0u);
    EXPECT_EQ(queue.back, 0u);
    queue.Push(String(u"left")); // freed by the destructor
}

// A worker's job slots hold zero bytes whenever they hold no job.
TEST(Queue, ZeroedFreeSlots)
{
    struct Job
    {
        int (*function)(void*);
        void* userData;
        uint32_t word;
    };
    auto isZero = [](const Job& job)
    { return job.function == nullptr && job.userData == nullptr && job.word == 0; };
    static int data;
    Queue<Job, FreeSlots::Zeroed> queue;
    for (uint32_t i = 0; i < 17; ++i)
        queue.Push(Job{[](void*) { return 1; }, &data, i + 1});
    for (int i = 0; i < 5; ++i)
        queue.Pop();
    for (uint32_t index = 0; index <= queue.capacity; ++index)
        EXPECT_EQ(isZero(queue.slots[index]), !queue.IsIndexValid(index)) << "slot " << index;
    EXPECT_EQ(queue.Front().word, 6u);

    queue.Clear();
    for (uint32_t index = 0; index <= queue.capacity; ++index)
        EXPECT_TRUE(isZero(queue.slots[index])) << "slot " << index;
    ErrorCapture errors;
    EXPECT_TRUE(isZero(queue.Front()));
}

// -- Link --

namespace
{

struct Node : LinkNode<Node>
{
    char name;
};

std::string Forward(const Link<Node>& list)
{
    std::string names;
    for (const Node* node = list.head; node != nullptr; node = node->next)
        names += node->name;
    return names;
}

std::string Backward(const Link<Node>& list)
{
    std::string names;
    for (const Node* node = list.tail; node != nullptr; node = node->prev)
        names += node->name;
    return names;
}

} // namespace

TEST(Link, InsertAfterLinksBothWays)
{
    Node a{{}, 'a'}, b{{}, 'b'}, c{{}, 'c'}, d{{}, 'd'}, e{{}, 'e'};
    Link<Node> list;
    list.InsertAfter(nullptr, &b); // an empty list: head and tail
    EXPECT_EQ(list.head, &b);
    EXPECT_EQ(list.tail, &b);
    list.Append(&d);
    list.InsertAfter(&b, &c);        // in the middle
    list.InsertAfter(nullptr, &a);   // no position: at the front
    list.InsertAfter(list.tail, &e); // after the tail: the new tail
    EXPECT_EQ(Forward(list), "abcde");
    EXPECT_EQ(Backward(list), "edcba");
    EXPECT_EQ(list.Length(), 5u);

    list.Clear(); // the nodes are the caller's
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.Length(), 0u);
}

TEST(Link, NullNodeIsReportedAndIgnored)
{
    Node a{{}, 'a'};
    Link<Node> list;
    list.Append(&a);
    ErrorCapture errors;
    list.Append(nullptr);
    EXPECT_TRUE(errors.Reported(u"node != _null", u"Common/Link:173"));
    EXPECT_EQ(Forward(list), "a");
    EXPECT_EQ(list.Length(), 1u);
}

// -- HashTable --

namespace
{

struct Site
{
    int32_t total;
    int32_t count;
};

// Every chain runs in ascending hash order with matching back links, and holds every entry once.
void ExpectChainsSorted(const HashTable<Site>& table)
{
    uint32_t entries = 0;
    for (uint32_t bucket = 0; bucket < table.size; ++bucket)
    {
        const HashTable<Site>::Entry* previous = nullptr;
        for (const auto* entry = table.buckets[bucket]; entry != nullptr; entry = entry->chainNext, ++entries)
        {
            EXPECT_EQ(entry->hash % table.size, bucket);
            EXPECT_EQ(entry->chainPrev, previous);
            if (previous != nullptr)
            {
                EXPECT_LE(previous->hash, entry->hash);
            }
            previous = entry;
        }
    }
    EXPECT_EQ(entries, table.count);
}

} // namespace

TEST(HashTable, FindMatchesNamesExactly)
{
    HashTable<Site> table(397);
    EXPECT_EQ(table.buckets, nullptr); // no buckets before the first insertion
    EXPECT_EQ(table.Find(u"name"), nullptr);

    auto* lower = table.Insert(Site{1, 10}, u"name");
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->hash, HashName(u"NAME"));
    EXPECT_EQ(table.Find(u"name"), lower);
    EXPECT_EQ(table.Find(u"Name"), nullptr); // same bucket, different name
    EXPECT_EQ(table.Find(u"other"), nullptr);

    auto* upper = table.Insert(Site{2, 20}, u"Name");
    auto* capitals = table.Insert(Site{3, 30}, u"NAME");
    EXPECT_EQ(table.Find(u"Name"), upper);
    EXPECT_EQ(table.Find(u"NAME"), capitals);
    EXPECT_EQ(table.Find(u"name")->payload.total, 1);
    // equal hashes keep their order of insertion within the chain
    EXPECT_EQ(lower->chainNext, upper);
    EXPECT_EQ(upper->chainNext, capitals);
}

TEST(HashTable, ManyEntriesInFewBuckets)
{
    HashTable<Site> table(3);
    std::vector<std::u16string> names;
    for (int i = 0; i < 300; ++i)
    {
        std::u16string name = u"site:";
        for (char digit : std::to_string(i))
            name += char16_t(digit);
        names.push_back(name);
        ASSERT_NE(table.Insert(Site{i, -i}, name.c_str()), nullptr);
    }
    EXPECT_EQ(table.count, 300u);
    ExpectChainsSorted(table);
    for (int i = 0; i < 300; ++i)
    {
        const auto* entry = table.Find(names[size_t(i)].c_str());
        ASSERT_NE(entry, nullptr) << i;
        EXPECT_EQ(entry->payload.total, i);
        EXPECT_EQ(Text(entry->name), names[size_t(i)]);
    }
    // insertion order, both ways
    int expected = 0;
    for (const auto* entry = table.first; entry != nullptr; entry = entry->next)
        EXPECT_EQ(entry->payload.total, expected++);
    EXPECT_EQ(expected, 300);
    for (const auto* entry = table.last; entry != nullptr; entry = entry->prev)
        EXPECT_EQ(entry->payload.total, --expected);
}

TEST(HashTable, ClearFreesEverythingAndTheTableIsReusable)
{
    HashTable<Site> table(7);
    for (const char16_t* name : {u"a", u"b", u"c"})
        table.Insert(Site{0, 0}, name);
    table.Clear();
    EXPECT_EQ(table.count, 0u);
    EXPECT_EQ(table.first, nullptr);
    EXPECT_EQ(table.last, nullptr);
    EXPECT_EQ(table.buckets, nullptr);
    EXPECT_EQ(table.Find(u"a"), nullptr);

    auto* entry = table.Insert(Site{5, 1}, u"a");
    EXPECT_EQ(table.Find(u"a"), entry);
    EXPECT_EQ(table.first, entry);
    EXPECT_EQ(table.last, entry);
    EXPECT_EQ(entry->prev, nullptr);
    EXPECT_EQ(entry->next, nullptr);
}

// -- DataBuffer --

namespace
{

std::string Bytes(const DataBuffer& buffer)
{
    if (buffer.Size() == 0)
        return "";
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

} // namespace

TEST(DataBuffer, ResizeKeepsBytesAndClampsTheCursor)
{
    struct Case
    {
        uint32_t cursor;
        uint32_t size;
        std::string bytes;
        uint32_t cursorAfter;
    };
    const Case cases[] = {
        {6, 4, "abcd", 4},     // beyond the new end: moved back to it
        {2, 4, "abcd", 2},     // inside: kept
        {8, 8, "abcdefgh", 8}, // same size: nothing happens
        {3, 10, std::string("abcdefgh") + '\0' + '\0', 3},
        {5, 0, "", 0},
    };
    for (const Case& c : cases)
    {
        DataBuffer buffer;
        ASSERT_TRUE(buffer.Attach("abcdefgh", 8, true));
        buffer.SetCursorOffset(c.cursor);
        ASSERT_TRUE(buffer.Resize(c.size));
        if (c.size > 8)
            buffer.Data()[8] = buffer.Data()[9] = 0; // grown bytes are uninitialised
        EXPECT_EQ(Bytes(buffer), c.bytes) << "to " << c.size;
        EXPECT_EQ(buffer.CursorOffset(), c.cursorAfter) << "to " << c.size;
        EXPECT_TRUE(buffer.IsOwned());
    }
}

TEST(DataBuffer, AppendConcatenatesAndKeepsTheCursorOffset)
{
    DataBuffer buffer;
    EXPECT_TRUE(buffer.Append("", 0));
    EXPECT_EQ(buffer.Size(), 0u);
    std::string expected;
    for (int i = 0; i < 100; ++i)
    {
        std::string piece(size_t(i % 7 + 1), char('a' + i % 26));
        ASSERT_TRUE(buffer.Append(piece.data(), uint32_t(piece.size())));
        expected += piece;
        if (i == 0)
            buffer.SetCursorOffset(1);
    }
    EXPECT_EQ(Bytes(buffer), expected);
    EXPECT_EQ(buffer.CursorOffset(), 1u);
}

TEST(DataBuffer, AttachWithoutCopyBorrowsTheCallersBytes)
{
    uint8_t bytes[4] = {1, 2, 3, 4};
    {
        DataBuffer buffer;
        ASSERT_TRUE(buffer.Attach(bytes, 4, false));
        EXPECT_EQ(buffer.Data(), bytes);
        EXPECT_FALSE(buffer.IsOwned());
        EXPECT_EQ(buffer.CursorOffset(), 0u);
        buffer.Reset(); // must not free the caller's bytes (the sanitizer build would catch it)
        EXPECT_TRUE(buffer.IsOwned());
        EXPECT_EQ(buffer.Size(), 0u);

        ASSERT_TRUE(buffer.Attach(bytes, 4, false));
        ASSERT_TRUE(buffer.Append("\x05", 1)); // appending makes an owned copy
        EXPECT_TRUE(buffer.IsOwned());
        EXPECT_NE(buffer.Data(), bytes);
        EXPECT_EQ(Bytes(buffer), std::string("\x01\x02\x03\x04\x05"));

        ASSERT_TRUE(buffer.Attach(bytes, 4, false));
    } // destruction must not free them either
    EXPECT_EQ(bytes[3], 4);

    DataBuffer copy;
    ASSERT_TRUE(copy.Attach(bytes, 4, true));
    EXPECT_NE(copy.Data(), bytes);
    EXPECT_TRUE(copy.IsOwned());
    bytes[0] = 9;
    EXPECT_EQ(copy.Data()[0], 1);
}
