// Compiled configuration data ("LUC1"): the file layout, the native tree it loads into (which the script-side
// module reads through the light pointer it is handed), and the reader and writer of that tree.
//
// File: magic "LUC1"; int32 name length N and N name bytes; the string table, {int32 length L, L bytes}
// repeated and ended by int32 -1; then the root node. A node is int32 array count A, int32 entry count E and
// 16 reserved bytes, then A elements (a type byte, then the nested node for a table, else 8 value bytes),
// then E 24-byte entries, each followed by its nested node when its byte 21 says table. Integers are
// little-endian.
//
// In memory the 32-bit target keeps the 32-bit layout exactly; on 64-bit targets the node links widen to
// pointer size, and in an entry everything after the link moves up with it. The file is the same on both.
#pragma once

#include "Common/DataBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct lua_State;

namespace Zelto
{

constexpr uint8_t ConfigMagic[4] = {'L', 'U', 'C', '1'};
constexpr int32_t ConfigStringTableEnd = -1;
constexpr uint32_t ConfigNodeHeaderBytes = 24; // array count, entry count, 16 reserved bytes
constexpr uint32_t ConfigValueBytes = 8;
constexpr uint32_t ConfigEntryBytes = 24;
constexpr uint32_t ConfigEntryTypeByte = 21;
constexpr uint32_t ConfigEntryLinkBytes = 4; // in the file: what a table entry's link replaces
constexpr uint8_t ConfigTableType = 4;       // every other type code is the script-side module's business

// The name becomes a global and the key name.."_host" in a 1024-byte buffer with its terminator.
constexpr uint32_t ConfigMaxNameBytes = 1024 - 6;
// Deeper data is refused rather than read by ever deeper recursion.
constexpr uint32_t ConfigMaxDepth = 200;
// The strings live on the private state's stack, which holds at most 8000 slots.
constexpr uint32_t ConfigMaxStrings = 7900;

struct ConfigNode;

union ConfigValue
{
    ConfigNode* node; // type ConfigTableType
    uint8_t bytes[ConfigValueBytes];
};

struct ConfigEntry
{
    union
    {
        ConfigNode* node; // when Type() is ConfigTableType
        uint8_t bytes[ConfigEntryLinkBytes];
    } link;
    uint8_t rest[ConfigEntryBytes - ConfigEntryLinkBytes];

    uint8_t Type() const { return rest[ConfigEntryTypeByte - ConfigEntryLinkBytes]; }
};

struct ConfigNode
{
    int32_t arrayCount;
    int32_t entryCount;
    uint8_t* elementTypes;      // arrayCount type codes
    ConfigValue* elementValues; // arrayCount values
    ConfigEntry* entries;       // entryCount entries
    lua_State* privateState;    // the tree's strings, shared by all its nodes
};

// Position 1 of a tree's private state; its strings follow from position 2, in file order, each once.
struct ConfigStateHeader
{
    uintptr_t reserved[2]; // 0
    ConfigNode* root;
};

static_assert(sizeof(ConfigValue) == ConfigValueBytes, "an element value is 8 bytes");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ConfigEntry) == ConfigEntryBytes, "entries keep the file's 24 bytes");
static_assert(offsetof(ConfigEntry, rest) + ConfigEntryTypeByte - ConfigEntryLinkBytes == 21,
              "the type code is byte 21 of an entry");
static_assert(sizeof(ConfigNode) == 24 && offsetof(ConfigNode, privateState) == 20, "the 32-bit node layout");
static_assert(sizeof(ConfigStateHeader) == 12, "three 32-bit words");
#endif

// The name after the magic: checked to be a script name that fits (see ConfigMaxNameBytes), with the offset
// of the string table behind it. False, logged, otherwise.
bool ReadConfigName(const uint8_t* bytes, uint32_t size, std::string& name, uint32_t& bodyOffset);
// A script name: identifiers joined by dots, so that the name can be put into a statement as it is.
bool IsConfigName(const char* name, size_t length);
// The string table and the root node from `start` on, with a new private state holding the strings; null,
// logged, when the bytes are not a whole, well-formed tree. Bytes after the root node are ignored; offsets in
// the messages count from `bytes`.
ConfigNode* ReadConfigTree(const uint8_t* bytes, uint32_t size, uint32_t start);
// Closes the tree's private state and frees all its nodes.
void DeleteConfigTree(ConfigNode* root);
// The whole file for a tree under `name`, appended to `out`; false, logged, for a tree that cannot be written
// (a cycle, nesting beyond ConfigMaxDepth, a malformed node).
bool WriteConfigFile(const ConfigNode* root, const std::string& name, DataBuffer& out);

} // namespace Zelto
