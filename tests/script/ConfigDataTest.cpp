// Compiled configuration data: files made here byte by byte load, reach a script through the host values
// table and the scripts' wrapping module, and save back unchanged; every kind of damaged file is refused with
// its reason and publishes nothing; SaveConfig refuses what it cannot write and leaves no file then.
#include "ScriptFixture.h"

#include "Source/Script/ConfigData.h"
#include "support/TempDirectory.h"
#include "support/Text.h"

#include <lua.hpp>

#include <cstring>
#include <string>

using namespace Zelto;

namespace
{

// Type codes of the wrapping module these tests supply (the data format leaves all but 4 to the module): a
// number in the 8 value bytes, a string as its position in the tree's private state, a nested table.
constexpr uint8_t NumberType = 1;
constexpr uint8_t StringType = 3;
constexpr uint8_t TableType = 4;

// A "LUC1" file written from the format's description: every call appends its part in file order.
class Luc1
{
public:
    Luc1& Int(int32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes += char(uint32_t(value) >> shift & 0xFF);
        return *this;
    }
    Luc1& Raw(const std::string& raw)
    {
        bytes += raw;
        return *this;
    }
    Luc1& Header(const std::string& name) { return Raw("LUC1").Int(int32_t(name.size())).Raw(name); }
    Luc1& Strings(std::initializer_list<std::string> strings)
    {
        for (const std::string& text : strings)
            Int(int32_t(text.size())).Raw(text);
        return Int(-1);
    }
    Luc1& Node(int32_t elements, int32_t entries)
    {
        return Int(elements).Int(entries).Raw(std::string(16, '\0'));
    }
    Luc1& Number(int64_t value) { return Raw(std::string(1, char(NumberType))).Value(uint64_t(value)); }
    Luc1& StringAt(int32_t position)
    {
        return Raw(std::string(1, char(StringType))).Value(uint32_t(position));
    }
    Luc1& Table() { return Raw(std::string(1, char(TableType))); } // the nested node follows
    // A keyed entry: value bytes 0-7, key position at 8, type at 21; the other bytes carry a pattern that the
    // module ignores and a save must keep. A table entry's first four bytes are left zero.
    Luc1& Entry(int32_t keyPosition, uint8_t type, uint64_t value = 0)
    {
        std::string entry(24, '\0');
        for (int i = 0; i < 8; ++i)
            entry[i] = char(value >> (8 * i) & 0xFF);
        for (int i = 0; i < 4; ++i)
            entry[8 + i] = char(uint32_t(keyPosition) >> (8 * i) & 0xFF);
        for (int i = 12; i < 24; ++i)
            entry[i] = char(0xA0 + i);
        entry[21] = char(type);
        return Raw(entry);
    }

    std::string bytes;

private:
    Luc1& Value(uint64_t value)
    {
        for (int i = 0; i < 8; ++i)
            bytes += char(value >> (8 * i) & 0xFF);
        return *this;
    }
};

// settings = {7, "Zelto", title = "Zelto", size = 1024, levels = {1, 2, {"deep"}}}
std::string SampleFile(const std::string& name = "settings")
{
    return Luc1()
        .Header(name)
        .Strings({"Zelto", "title", "size", "levels", "deep"})
        .Node(2, 3)
        .Number(7)
        .StringAt(2)
        .Entry(3, StringType, 2)
        .Entry(4, NumberType, 1024)
        .Entry(5, TableType)
        .Node(3, 0)
        .Number(1)
        .Number(2)
        .Table()
        .Node(1, 0)
        .StringAt(6)
        .bytes;
}

std::string HexBytes(const std::string& bytes)
{
    return Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void PushString(lua_State* state, const ConfigNode& node, const uint8_t* bytes)
{
    int32_t position = 0;
    std::memcpy(&position, bytes, 4);
    size_t length = 0;
    const char* text = lua_tolstring(node.privateState, position, &length);
    lua_pushlstring(state, text != nullptr ? text : "?", length);
}

void PushValue(lua_State* state, const ConfigNode& node, uint8_t type, const uint8_t* bytes,
               ConfigNode* child);

void PushTable(lua_State* state, const ConfigNode& node)
{
    lua_newtable(state);
    for (int32_t i = 0; i < node.arrayCount; ++i)
    {
        PushValue(state, node, node.elementTypes[i], node.elementValues[i].bytes, node.elementValues[i].node);
        lua_rawseti(state, -2, i + 1);
    }
    for (int32_t i = 0; i < node.entryCount; ++i)
    {
        const ConfigEntry& entry = node.entries[i];
        PushString(state, node, entry.rest + 8 - ConfigEntryLinkBytes);
        uint8_t value[8];
        std::memcpy(value, entry.link.bytes, ConfigEntryLinkBytes);
        std::memcpy(value + ConfigEntryLinkBytes, entry.rest, 8 - ConfigEntryLinkBytes);
        PushValue(state, node, entry.Type(), value, entry.link.node);
        lua_rawset(state, -3);
    }
}

void PushValue(lua_State* state, const ConfigNode& node, uint8_t type, const uint8_t* bytes,
               ConfigNode* child)
{
    if (type == TableType)
        return PushTable(state, *child);
    if (type == StringType)
        return PushString(state, node, bytes);
    int64_t number = 0;
    std::memcpy(&number, bytes, 8);
    lua_pushnumber(state, lua_Number(number));
}

// The scripts' wrapping module, reduced to what the tests need: the tree as a plain table, checked against
// the header its private state keeps; "nothing" when no tree was published.
int Box(lua_State* state)
{
    auto* root = static_cast<ConfigNode*>(lua_touserdata(state, 1));
    if (root == nullptr)
    {
        lua_pushstring(state, "nothing");
        return 1;
    }
    auto* header = static_cast<ConfigStateHeader*>(lua_touserdata(root->privateState, 1));
    if (header == nullptr || header->root != root || header->reserved[0] != 0 || header->reserved[1] != 0)
        return luaL_error(state, "the private state does not name its root");
    PushTable(state, *root);
    return 1;
}

class ConfigData : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        // What the game's scripts prepare: the host values table behind the globals, and the module.
        Run(u"local host = {} setmetatable(_G, {host, __index = host}) __luaconf = {}");
        lua_State* state = manager->GetLuaState();
        lua_getglobal(state, "__luaconf");
        lua_pushcfunction(state, Box);
        lua_setfield(state, -2, "box");
        lua_pop(state, 1);
    }

    void RunBytes(const std::string& bytes)
    {
        DataBuffer buffer;
        buffer.Attach(bytes.data(), uint32_t(bytes.size()), true);
        Variable out(u"stale", VariableInt32);
        manager->RunBuffer(out, buffer, 1);
        EXPECT_EQ(Describe(out), "none");
    }

    // What the host values table holds under `key`.
    ConfigNode* Published(const char* key)
    {
        lua_State* state = manager->GetLuaState();
        int top = lua_gettop(state);
        if (!lua_getmetatable(state, LUA_GLOBALSINDEX))
            return nullptr;
        lua_rawgeti(state, -1, 1);
        lua_getfield(state, -1, key);
        void* node = lua_islightuserdata(state, -1) ? lua_touserdata(state, -1) : nullptr;
        lua_settop(state, top);
        return static_cast<ConfigNode*>(node);
    }

    std::string SavedBytes(ConfigNode* node, const char16_t* name)
    {
        manager->SaveConfig(node, name, folder.Path(u"saved.luc").Text());
        return folder.ReadBytes(u"saved.luc");
    }

    TempDirectory folder;
};

} // namespace

TEST_F(ConfigData, LoadsPublishesAndReachesTheScripts)
{
    int top = Top();
    RunBytes(SampleFile());
    EXPECT_EQ(Top(), top);
    ConfigNode* root = Published("settings_host");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->arrayCount, 2);
    EXPECT_EQ(root->entryCount, 3);
    ExpectResults({
        {u"return table.concat({settings[1], settings[2], settings.title, settings.size, #settings.levels, "
         u"settings.levels[2], settings.levels[3][1]}, ',')",
         "'7,Zelto,Zelto,1024,3,2,deep'"},
        {u"return rawget(_G, 'settings_host')", "none"}, // only in the host values table
    });
    EXPECT_EQ(logs.trace.Count(u"[LS]"), 0u);
}

TEST_F(ConfigData, SavesBackByteForByte)
{
    RunBytes(SampleFile());
    ConfigNode* root = Published("settings_host");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(HexBytes(SavedBytes(root, u"settings")), HexBytes(SampleFile()));
    // A global path loses its "_G." parts.
    EXPECT_EQ(HexBytes(SavedBytes(root, u"_G.settings")), HexBytes(SampleFile()));
    EXPECT_EQ(HexBytes(SavedBytes(root, u"_G.ui._G.settings")), HexBytes(SampleFile("ui.settings")));
}

TEST_F(ConfigData, RepeatedStringsTakeOnePosition)
{
    RunBytes(Luc1().Header("names").Strings({"a", "b", "a", "c", "b"}).Node(1, 0).StringAt(4).bytes);
    ConfigNode* root = Published("names_host");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(lua_gettop(root->privateState), 4);
    ExpectResults({{u"return names[1]", "'c'"}});
    EXPECT_EQ(HexBytes(SavedBytes(root, u"names")),
              HexBytes(Luc1().Header("names").Strings({"a", "b", "c"}).Node(1, 0).StringAt(4).bytes));
}

TEST_F(ConfigData, SaveWritesNumbersOfThePrivateStateAsTextAndSkipsOtherValues)
{
    RunBytes(Luc1().Header("names").Strings({"a"}).Node(0, 0).bytes);
    ConfigNode* root = Published("names_host");
    ASSERT_NE(root, nullptr);
    lua_State* strings = root->privateState;
    lua_pushnumber(strings, 42);
    lua_pushboolean(strings, 1);
    lua_pushstring(strings, "z");
    EXPECT_EQ(HexBytes(SavedBytes(root, u"names")),
              HexBytes(Luc1().Header("names").Strings({"a", "42", "z"}).Node(0, 0).bytes));
    EXPECT_EQ(lua_type(strings, 3), LUA_TNUMBER);
}

TEST_F(ConfigData, TheStatementRunsWithoutTheModuleOrTheHostValuesTable)
{
    Run(u"__luaconf = nil");
    RunBytes(SampleFile());
    EXPECT_NE(Published("settings_host"), nullptr);
    EXPECT_EQ(logs.error.calls.size(), 0u); // the module's absence is the scripts' business
    EXPECT_EQ(LastError(), u"");

    Run(u"setmetatable(_G, nil) __luaconf = {box = function(node) return type(node) end}");
    RunBytes(SampleFile("other"));
    EXPECT_EQ(logs.trace.Count(u"[LS] Config other not published: the globals have no host values table"),
              1u);
    ExpectResults({{u"return other", "'nil'"}});
}

TEST_F(ConfigData, DamagedDataIsRefusedWithItsReason)
{
    std::string deep = Luc1().Header("settings").Strings({}).bytes;
    for (uint32_t level = 0; level <= ConfigMaxDepth + 1; ++level)
        deep += Luc1().Node(1, 0).Table().bytes;
    Luc1 manyStrings;
    manyStrings.Header("settings");
    for (uint32_t i = 0; i <= ConfigMaxStrings; ++i)
        manyStrings.Int(5).Raw(std::to_string(10000 + i));
    manyStrings.Int(-1).Node(0, 0);
    const std::string header = Luc1().Header("settings").bytes;
    const std::string noStrings = Luc1().Header("settings").Strings({}).bytes;

    struct Case
    {
        const char* what;
        std::string bytes;
        const char16_t* reason;
        bool treeRead; // the name was good: the tree was attempted and the statement ran
    };
    const Case cases[] = {
        {"no name length", "LUC1\x08", u"[LS] Config data ends before its name", false},
        {"negative name length", Luc1().Raw("LUC1").Int(-3).bytes,
         u"[LS] Config name length -3 is not within 0 to 1018 bytes", false},
        {"huge name length", Luc1().Raw("LUC1").Int(0x7FFFFFFF).bytes,
         u"[LS] Config name length 2147483647 is not within 0 to 1018 bytes", false},
        {"cut name", Luc1().Raw("LUC1").Int(9).Raw("settings").bytes,
         u"[LS] Config name of 9 bytes runs past the end", false},
        {"statement in the name", Luc1().Header("x=os.exit()").Strings({}).Node(0, 0).bytes,
         u"[LS] Config name \"x=os.exit()\" is not a script name", false},
        {"empty name", Luc1().Header("").Strings({}).Node(0, 0).bytes,
         u"[LS] Config name \"\" is not a script name", false},
        {"nothing after the name", header, u"[LS] Config data ends inside the string table at byte 16", true},
        {"string table without end", header + Luc1().Int(1).Raw("a").bytes,
         u"[LS] Config data ends inside the string table at byte 21", true},
        {"negative string length", header + Luc1().Int(-2).bytes,
         u"[LS] Config string at byte 16 has the length -2", true},
        {"huge string length", header + Luc1().Int(0x7FFFFFF0).Raw("abc").bytes,
         u"[LS] Config string of 2147483632 bytes at byte 16 runs past the end", true},
        {"too many strings", manyStrings.bytes, u"[LS] Config string table holds more than 7900 strings",
         true},
        {"no root node", noStrings, u"[LS] Config data ends inside a node header at byte 20", true},
        {"cut node header", noStrings + Luc1().Int(0).Int(0).Raw("reserved").bytes,
         u"[LS] Config data ends inside a node header at byte 20", true},
        {"negative element count", noStrings + Luc1().Node(-1, 0).bytes,
         u"[LS] Config node at byte 20 has a negative count (-1 elements, 0 entries)", true},
        {"negative entry count", noStrings + Luc1().Node(0, -5).bytes,
         u"[LS] Config node at byte 20 has a negative count (0 elements, -5 entries)", true},
        {"huge element count", noStrings + Luc1().Node(0x7FFFFFFF, 0).Number(1).bytes,
         u"[LS] Config node at byte 20 counts 2147483647 elements and 0 entries, more than the 9 bytes "
         u"left for it hold",
         true},
        {"huge entry count", noStrings + Luc1().Node(1, 0x10000000).Number(1).bytes,
         u"[LS] Config node at byte 20 counts 1 elements and 268435456 entries, more than the 9 bytes "
         u"left for it hold",
         true},
        {"nested counts claiming a sibling's bytes",
         noStrings + Luc1().Node(2, 0).Table().Node(1, 0).Number(1).bytes,
         u"[LS] Config node at byte 45 counts 1 elements and 0 entries, more than the 0 bytes left for it "
         u"hold",
         true},
        {"nested counts after a sibling took more than its least",
         noStrings + Luc1().Node(3, 0).Table().Node(0, 0).Table().Node(100000000, 0).bytes,
         u"[LS] Config node at byte 70 counts 100000000 elements and 0 entries, more than the 0 bytes left "
         u"for it "
         u"hold",
         true},
        {"cut element", noStrings + Luc1().Node(2, 0).Table().Node(0, 0).bytes,
         u"[LS] Config data ends inside an element at byte 69", true},
        {"cut element value", noStrings + Luc1().Node(2, 0).Table().Node(0, 0).Raw("\x01\x02").bytes,
         u"[LS] Config data ends inside an element at byte 69", true},
        {"cut entry", noStrings + Luc1().Node(1, 1).Table().Node(0, 0).Raw(std::string(10, 'e')).bytes,
         u"[LS] Config data ends inside an entry at byte 69", true},
        {"cut nested node of an entry", noStrings + Luc1().Node(0, 1).Entry(2, TableType).bytes,
         u"[LS] Config data ends inside a node header at byte 68", true},
        {"nesting too deep", deep, u"[LS] Config nodes nest deeper than 200 levels at byte 5045", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        logs.trace.calls.clear();
        Run(u"settings = 'untouched'");
        RunBytes(c.bytes);
        EXPECT_EQ(Published("settings_host"), nullptr);
        EXPECT_EQ(logs.trace.Count(c.reason), 1u);
        EXPECT_EQ(logs.trace.Count(u"[LS] Load config nodes failed"), c.treeRead ? 1u : 0u);
        // The module still wraps what is there (nothing) when the name allowed the statement.
        EXPECT_EQ(Describe(Run(u"return settings")), c.treeRead ? "'nothing'" : "'untouched'");
    }
}

TEST_F(ConfigData, SaveRefusesWhatItCannotWrite)
{
    RunBytes(SampleFile());
    ConfigNode* root = Published("settings_host");
    ASSERT_NE(root, nullptr);
    ConfigNode* levels = root->entries[2].link.node;
    ConfigNode* deepest = levels->elementValues[2].node;
    ASSERT_NE(deepest, nullptr);

    manager->SaveConfig(nullptr, u"settings", folder.Path(u"saved.luc").Text());
    EXPECT_EQ(logs.trace.Count(u"[LS] Convert config needs a conf object"), 1u);

    folder.WriteBytes(u"file", "not a folder");
    manager->SaveConfig(root, u"settings", folder.Path(u"file\\saved.luc").Text());
    EXPECT_EQ(logs.trace.Count(u"[LS] Can't create file for saving config"), 1u);

    manager->SaveConfig(root, u"not a name", folder.Path(u"saved.luc").Text());
    EXPECT_EQ(logs.trace.Count(u"[LS] Config name \"not a name\" is not a script name"), 1u);

    // A cycle made by host code: the deepest node's string element made a link back to its grandparent.
    ConfigValue kept = deepest->elementValues[0];
    deepest->elementTypes[0] = TableType;
    deepest->elementValues[0].node = levels;
    manager->SaveConfig(root, u"settings", folder.Path(u"saved.luc").Text());
    EXPECT_EQ(logs.trace.Count(u"[LS] Config nodes form a cycle back to the node at level 1"), 1u);

    deepest->elementValues[0].node = nullptr;
    manager->SaveConfig(root, u"settings", folder.Path(u"saved.luc").Text());
    EXPECT_EQ(logs.trace.Count(u"[LS] Config node at level 3 is malformed"), 1u);

    deepest->elementTypes[0] = StringType;
    deepest->elementValues[0] = kept;
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"saved.luc")));
    EXPECT_EQ(HexBytes(SavedBytes(root, u"settings")), HexBytes(SampleFile()));
}
