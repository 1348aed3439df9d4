// Writing a configuration tree back in the "LUC1" form. The whole file is made in memory first, so that a
// tree that cannot be written leaves no file behind. Reserved node bytes and the bytes a table entry's link
// takes are written as zero: what the memory holds there is an address, which means nothing in a file.
#include "Source/Script/ConfigData.h"
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"
#include "Source/Platform/AnsiCodePage.h"
#include "Source/Platform/File.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

class TreeWriter
{
public:
    explicit TreeWriter(DataBuffer& out) : mOut(out) {}

    bool WriteInt(int32_t value)
    {
        uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        return Write(bytes, sizeof(bytes));
    }
    bool Write(const void* bytes, uint32_t count)
    {
        if (mOut.Append(bytes, count))
            return true;
        PrintTrace(u"[LS] Config data does not fit in memory");
        return false;
    }
    bool WriteStrings(lua_State* strings);
    bool WriteNode(const ConfigNode* node, uint32_t depth);

private:
    bool WriteElements(const ConfigNode& node, uint32_t depth);
    bool WriteEntries(const ConfigNode& node, uint32_t depth);

    DataBuffer& mOut;
    const ConfigNode* mPath[ConfigMaxDepth + 1] = {}; // the nodes being written, root first
};

bool TreeWriter::WriteStrings(lua_State* strings)
{
    int top = strings != nullptr ? lua_gettop(strings) : 0;
    for (int position = 2; position <= top; ++position)
    {
        int type = lua_type(strings, position);
        if (type != LUA_TSTRING && type != LUA_TNUMBER)
            continue;
        size_t length = 0;
        const char* text = nullptr;
        if (type == LUA_TSTRING)
            text = lua_tolstring(strings, position, &length);
        else
        {
            // A copy: converting in place would turn the number on the stack into a string.
            if (!lua_checkstack(strings, 1))
            {
                PrintTrace(u"[LS] Config string at position %d cannot be read", position);
                return false;
            }
            lua_pushvalue(strings, position);
            text = lua_tolstring(strings, -1, &length);
        }
        bool written = WriteInt(int32_t(length)) && Write(text, uint32_t(length));
        if (type != LUA_TSTRING)
            lua_pop(strings, 1);
        if (!written)
            return false;
    }
    return WriteInt(ConfigStringTableEnd);
}

bool TreeWriter::WriteNode(const ConfigNode* node, uint32_t depth)
{
    if (depth > ConfigMaxDepth)
    {
        PrintTrace(u"[LS] Config nodes nest deeper than %u levels", ConfigMaxDepth);
        return false;
    }
    for (uint32_t level = 0; level < depth; ++level)
        if (mPath[level] == node)
        {
            PrintTrace(u"[LS] Config nodes form a cycle back to the node at level %u", level);
            return false;
        }
    if (node == nullptr || node->arrayCount < 0 || node->entryCount < 0 ||
        (node->arrayCount > 0 && (node->elementTypes == nullptr || node->elementValues == nullptr)) ||
        (node->entryCount > 0 && node->entries == nullptr))
    {
        PrintTrace(u"[LS] Config node at level %u is malformed", depth);
        return false;
    }
    mPath[depth] = node;
    static const uint8_t reserved[ConfigNodeHeaderBytes - 8] = {};
    return WriteInt(node->arrayCount) && WriteInt(node->entryCount) && Write(reserved, sizeof(reserved)) &&
           WriteElements(*node, depth) && WriteEntries(*node, depth);
}

bool TreeWriter::WriteElements(const ConfigNode& node, uint32_t depth)
{
    for (int32_t i = 0; i < node.arrayCount; ++i)
    {
        uint8_t type = node.elementTypes[i];
        if (!Write(&type, 1))
            return false;
        bool written = type == ConfigTableType ? WriteNode(node.elementValues[i].node, depth + 1)
                                               : Write(node.elementValues[i].bytes, ConfigValueBytes);
        if (!written)
            return false;
    }
    return true;
}

bool TreeWriter::WriteEntries(const ConfigNode& node, uint32_t depth)
{
    static const uint8_t noLink[ConfigEntryLinkBytes] = {};
    for (int32_t i = 0; i < node.entryCount; ++i)
    {
        const ConfigEntry& entry = node.entries[i];
        bool table = entry.Type() == ConfigTableType;
        if (!Write(table ? noLink : entry.link.bytes, ConfigEntryLinkBytes) ||
            !Write(entry.rest, sizeof(entry.rest)) || (table && !WriteNode(entry.link.node, depth + 1)))
            return false;
    }
    return true;
}

} // namespace

bool WriteConfigFile(const ConfigNode* root, const std::string& name, DataBuffer& out)
{
    if (!IsConfigName(name.data(), name.size()) || name.size() > ConfigMaxNameBytes)
    {
        PrintTrace(u"[LS] Config name \"%hs\" is not a script name", name.c_str());
        return false;
    }
    TreeWriter writer(out);
    return writer.Write(ConfigMagic, sizeof(ConfigMagic)) && writer.WriteInt(int32_t(name.size())) &&
           writer.Write(name.data(), uint32_t(name.size())) &&
           writer.WriteStrings(root != nullptr ? root->privateState : nullptr) && writer.WriteNode(root, 0);
}

void LuaScriptManager::SaveConfig(ConfigNode* node, const char16_t* name, const char16_t* path)
{
    if (node == nullptr)
    {
        PrintTrace(u"[LS] Convert config needs a conf object");
        return;
    }
    String bareName(name != nullptr ? name : u"");
    bareName.Replace(u"_G.", u"");
    std::string narrowName = StringToCodePage(bareName.Text(), bareName.Length());
    DataBuffer file;
    if (!WriteConfigFile(node, narrowName, file))
        return;
    File out;
    if (!out.Create(path != nullptr ? path : u""))
    {
        PrintTrace(u"[LS] Can't create file for saving config");
        return;
    }
    if (!out.Write(file.Data(), file.Size()))
        PrintTrace(u"[LS] Can't write the config file %ls", path);
    out.Close();
}

} // namespace Zelto
