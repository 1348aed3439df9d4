// Configuration data from outside: a file is either refused or read into a tree that writes back into a file
// that reads again into the same tree (writing it once more gives the same bytes).
#include "FuzzCheck.h"
#include "Source/Script/ConfigData.h"

#include <cstring>
#include <string>

using namespace Zelto;

namespace
{

ConfigNode* Read(const uint8_t* data, uint32_t size, std::string& name)
{
    uint32_t bodyOffset = 0;
    if (size < sizeof(ConfigMagic) || std::memcmp(data, ConfigMagic, sizeof(ConfigMagic)) != 0 ||
        !ReadConfigName(data, size, name, bodyOffset))
        return nullptr;
    return ReadConfigTree(data, size, bodyOffset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string name;
    ConfigNode* root = Read(data, uint32_t(size), name);
    if (root == nullptr)
        return 0;
    DataBuffer written;
    Require(WriteConfigFile(root, name, written));
    DeleteConfigTree(root);

    std::string again;
    root = Read(written.Data(), written.Size(), again);
    Require(root != nullptr && again == name);
    DataBuffer rewritten;
    Require(WriteConfigFile(root, again, rewritten));
    DeleteConfigTree(root);
    Require(rewritten.Size() == written.Size() &&
            std::memcmp(rewritten.Data(), written.Data(), written.Size()) == 0);
    return 0;
}
