// Reading "LUC1" configuration data into a native tree. Every count is checked against the bytes that remain
// before anything is allocated for it, so a file makes us allocate at most a small multiple of its own size;
// whatever is wrong is logged once, with where it was found, and nothing of the tree is kept.
#include "Source/Script/ConfigData.h"

#include "Common/Log.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringEncoding.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

// The least a file spends on one element (a type byte and a value, or a type byte and a nested node's
// header) and on one entry.
constexpr uint64_t MinElementBytes = 1 + ConfigValueBytes;
constexpr uint64_t MinEntryBytes = ConfigEntryBytes;

class Cursor
{
public:
    Cursor(const uint8_t* bytes, uint32_t size, uint32_t offset = 0)
        : mBytes(bytes), mSize(size), mOffset(offset)
    {
    }

    uint32_t Offset() const { return mOffset; }
    uint32_t Remaining() const { return mSize - mOffset; }

    // The next `count` bytes, or null (the cursor stays) when fewer remain.
    const uint8_t* Take(uint32_t count)
    {
        if (count > Remaining())
            return nullptr;
        const uint8_t* bytes = mBytes + mOffset;
        mOffset += count;
        return bytes;
    }

    bool TakeInt(int32_t& value)
    {
        const uint8_t* bytes = Take(4);
        if (bytes == nullptr)
            return false;
        value = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                        uint32_t(bytes[3]) << 24);
        return true;
    }

private:
    const uint8_t* mBytes;
    uint32_t mSize;
    uint32_t mOffset;
};

void* AllocZeroed(uint64_t bytes)
{
    void* block = Memory::Alloc(size_t(bytes));
    if (block != nullptr)
        Memory::Set(block, 0, size_t(bytes));
    return block;
}

void DeleteNodes(ConfigNode* node)
{
    if (node == nullptr)
        return;
    for (int32_t i = 0; i < node->arrayCount && node->elementTypes != nullptr; ++i)
        if (node->elementTypes[i] == ConfigTableType)
            DeleteNodes(node->elementValues[i].node);
    for (int32_t i = 0; i < node->entryCount && node->entries != nullptr; ++i)
        if (node->entries[i].Type() == ConfigTableType)
            DeleteNodes(node->entries[i].link.node);
    Memory::Free(node->elementTypes);
    Memory::Free(node->elementValues);
    Memory::Free(node->entries);
    Memory::Free(node);
}

class TreeReader
{
public:
    TreeReader(const uint8_t* bytes, uint32_t size, uint32_t start, lua_State* strings)
        : mCursor(bytes, size, start), mStrings(strings)
    {
    }

    // Leaves the private state holding an index table (string to position) at 1 and the strings above it.
    bool ReadStrings();
    ConfigNode* ReadNode(uint32_t depth); // null, logged, on failure, with nothing of it left allocated

private:
    bool ReadNodeBody(ConfigNode& node, uint32_t depth);
    bool ReadElements(ConfigNode& node, uint32_t depth, uint64_t outerPromise);
    bool ReadEntries(ConfigNode& node, uint32_t depth, uint64_t outerPromise);
    bool Truncated(const char16_t* what, uint32_t start);

    Cursor mCursor;
    lua_State* mStrings;
    // The least the enclosing nodes still need for their items after the one being read: nested counts are
    // checked against what is left beside it, so that all counts together never claim more than the file.
    uint64_t mPromised = 0;
};

bool TreeReader::Truncated(const char16_t* what, uint32_t start)
{
    PrintTrace(u"[LS] Config data ends inside %ls at byte %u", what, start);
    return false;
}

bool TreeReader::ReadStrings()
{
    lua_settop(mStrings, 0);
    lua_newtable(mStrings);
    for (;;)
    {
        uint32_t start = mCursor.Offset();
        int32_t length = 0;
        if (!mCursor.TakeInt(length))
            return Truncated(u"the string table", start);
        if (length == ConfigStringTableEnd)
            return true;
        if (length < 0)
        {
            PrintTrace(u"[LS] Config string at byte %u has the length %d", start, length);
            return false;
        }
        const uint8_t* text = mCursor.Take(uint32_t(length));
        if (text == nullptr)
        {
            PrintTrace(u"[LS] Config string of %d bytes at byte %u runs past the end", length, start);
            return false;
        }
        lua_pushlstring(mStrings, reinterpret_cast<const char*>(text), size_t(length));
        lua_pushvalue(mStrings, -1);
        lua_rawget(mStrings, 1);
        bool known = !lua_isnil(mStrings, -1);
        lua_pop(mStrings, 1);
        if (known)
        {
            lua_pop(mStrings, 1);
            continue;
        }
        int position = lua_gettop(mStrings);
        if (uint32_t(position - 1) > ConfigMaxStrings || !lua_checkstack(mStrings, 3))
        {
            PrintTrace(u"[LS] Config string table holds more than %u strings", ConfigMaxStrings);
            return false;
        }
        lua_pushvalue(mStrings, -1);
        lua_pushinteger(mStrings, position);
        lua_rawset(mStrings, 1);
    }
}

ConfigNode* TreeReader::ReadNode(uint32_t depth)
{
    if (depth > ConfigMaxDepth)
    {
        PrintTrace(u"[LS] Config nodes nest deeper than %u levels at byte %u", ConfigMaxDepth,
                   mCursor.Offset());
        return nullptr;
    }
    uint32_t start = mCursor.Offset();
    int32_t arrayCount = 0;
    int32_t entryCount = 0;
    if (!mCursor.TakeInt(arrayCount) || !mCursor.TakeInt(entryCount) ||
        mCursor.Take(ConfigNodeHeaderBytes - 8) == nullptr)
    {
        Truncated(u"a node header", start);
        return nullptr;
    }
    if (arrayCount < 0 || entryCount < 0)
    {
        PrintTrace(u"[LS] Config node at byte %u has a negative count (%d elements, %d entries)", start,
                   arrayCount, entryCount);
        return nullptr;
    }
    // An earlier sibling may have taken more than its least, leaving less than the promise.
    uint64_t room = mCursor.Remaining() > mPromised ? mCursor.Remaining() - mPromised : 0;
    if (arrayCount * MinElementBytes + entryCount * MinEntryBytes > room)
    {
        PrintTrace(u"[LS] Config node at byte %u counts %d elements and %d entries, more than the %u bytes "
                   u"left for it hold",
                   start, arrayCount, entryCount, uint32_t(room));
        return nullptr;
    }

    auto* node = static_cast<ConfigNode*>(AllocZeroed(sizeof(ConfigNode)));
    if (node == nullptr)
        return nullptr;
    node->privateState = mStrings;
    bool allocated = true;
    if (arrayCount > 0)
    {
        node->elementTypes = static_cast<uint8_t*>(AllocZeroed(uint64_t(arrayCount)));
        node->elementValues =
            static_cast<ConfigValue*>(AllocZeroed(uint64_t(arrayCount) * sizeof(ConfigValue)));
        allocated = node->elementTypes != nullptr && node->elementValues != nullptr;
        if (allocated)
            node->arrayCount = arrayCount;
    }
    if (allocated && entryCount > 0)
    {
        node->entries = static_cast<ConfigEntry*>(AllocZeroed(uint64_t(entryCount) * sizeof(ConfigEntry)));
        allocated = node->entries != nullptr;
        if (allocated)
            node->entryCount = entryCount;
    }
    if (!allocated)
        PrintTrace(u"[LS] Config node at byte %u does not fit in memory", start);
    if (!allocated || !ReadNodeBody(*node, depth))
    {
        DeleteNodes(node);
        return nullptr;
    }
    return node;
}

// Fills the node's arrays, which are allocated and zero, so that a failure leaves only links that are set.
bool TreeReader::ReadNodeBody(ConfigNode& node, uint32_t depth)
{
    uint64_t outerPromise = mPromised;
    bool read = ReadElements(node, depth, outerPromise) && ReadEntries(node, depth, outerPromise);
    mPromised = outerPromise;
    return read;
}

// The node's arrays are allocated and zero: a failure leaves only links that are set, for DeleteNodes.
bool TreeReader::ReadElements(ConfigNode& node, uint32_t depth, uint64_t outerPromise)
{
    for (int32_t i = 0; i < node.arrayCount; ++i)
    {
        mPromised =
            outerPromise + (node.arrayCount - 1 - i) * MinElementBytes + node.entryCount * MinEntryBytes;
        uint32_t start = mCursor.Offset();
        const uint8_t* type = mCursor.Take(1);
        if (type == nullptr)
            return Truncated(u"an element", start);
        if (*type == ConfigTableType)
        {
            node.elementValues[i].node = ReadNode(depth + 1);
            if (node.elementValues[i].node == nullptr)
                return false;
            node.elementTypes[i] = *type;
            continue;
        }
        const uint8_t* value = mCursor.Take(ConfigValueBytes);
        if (value == nullptr)
            return Truncated(u"an element", start);
        node.elementTypes[i] = *type;
        Memory::Copy(node.elementValues[i].bytes, value, ConfigValueBytes);
    }
    return true;
}

bool TreeReader::ReadEntries(ConfigNode& node, uint32_t depth, uint64_t outerPromise)
{
    for (int32_t i = 0; i < node.entryCount; ++i)
    {
        mPromised = outerPromise + (node.entryCount - 1 - i) * MinEntryBytes;
        uint32_t start = mCursor.Offset();
        const uint8_t* bytes = mCursor.Take(ConfigEntryBytes);
        if (bytes == nullptr)
            return Truncated(u"an entry", start);
        ConfigEntry& entry = node.entries[i];
        Memory::Copy(entry.rest, bytes + ConfigEntryLinkBytes, sizeof(entry.rest));
        if (entry.Type() != ConfigTableType)
        {
            Memory::Copy(entry.link.bytes, bytes, ConfigEntryLinkBytes);
            continue;
        }
        entry.link.node = ReadNode(depth + 1);
        if (entry.link.node == nullptr)
            return false;
    }
    return true;
}

// The index table at position 1 gives way to the header that names the root.
void FinishPrivateState(lua_State* strings, ConfigNode* root)
{
    auto* header = static_cast<ConfigStateHeader*>(lua_newuserdata(strings, sizeof(ConfigStateHeader)));
    header->reserved[0] = 0;
    header->reserved[1] = 0;
    header->root = root;
    lua_replace(strings, 1);
    lua_gc(strings, LUA_GCCOLLECT, 0);
}

} // namespace

bool IsConfigName(const char* name, size_t length)
{
    bool identifierStart = true;
    for (size_t i = 0; i < length; ++i)
    {
        char c = name[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (c == '.' && !identifierStart)
            identifierStart = true;
        else if (letter || (digit && !identifierStart))
            identifierStart = false;
        else
            return false;
    }
    return !identifierStart;
}

bool ReadConfigName(const uint8_t* bytes, uint32_t size, std::string& name, uint32_t& bodyOffset)
{
    Cursor cursor(bytes, size);
    int32_t length = 0;
    if (cursor.Take(sizeof(ConfigMagic)) == nullptr || !cursor.TakeInt(length))
    {
        PrintTrace(u"[LS] Config data ends before its name");
        return false;
    }
    if (length < 0 || uint32_t(length) > ConfigMaxNameBytes)
    {
        PrintTrace(u"[LS] Config name length %d is not within 0 to %u bytes", length, ConfigMaxNameBytes);
        return false;
    }
    const uint8_t* text = cursor.Take(uint32_t(length));
    if (text == nullptr)
    {
        PrintTrace(u"[LS] Config name of %d bytes runs past the end", length);
        return false;
    }
    name.assign(reinterpret_cast<const char*>(text), size_t(length));
    if (!IsConfigName(name.data(), name.size()))
    {
        PrintTrace(u"[LS] Config name \"%ls\" is not a script name",
                   Utf8ToString(name.data(), length).Text());
        return false;
    }
    bodyOffset = cursor.Offset();
    return true;
}

ConfigNode* ReadConfigTree(const uint8_t* bytes, uint32_t size, uint32_t start)
{
    lua_State* strings = luaL_newstate();
    if (strings == nullptr)
    {
        PrintTrace(u"[LS] Can't open new lua state");
        return nullptr;
    }
    TreeReader reader(bytes, size, start, strings);
    ConfigNode* root = reader.ReadStrings() ? reader.ReadNode(0) : nullptr;
    if (root == nullptr)
    {
        lua_close(strings);
        PrintTrace(u"[LS] Load config nodes failed");
        return nullptr;
    }
    FinishPrivateState(strings, root);
    return root;
}

void DeleteConfigTree(ConfigNode* root)
{
    if (root == nullptr)
        return;
    if (root->privateState != nullptr)
        lua_close(root->privateState);
    DeleteNodes(root);
}

} // namespace Zelto
