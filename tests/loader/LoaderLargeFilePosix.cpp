// A file far larger than the address space the process has left comes in whole: its bytes go to disk as they
// unpack, never held. The process's address-space limit stands in for a 32-bit process inside a launcher that
// keeps most of its memory for itself.
#include "LoaderRoadFixture.h"

#include "Common/Md5.h"
#include "Source/Platform/File.h"
#include "support/AddressSpaceLimit.h"

#include <cstdlib>

using namespace Zelto;

TEST_F(LoaderRoad, AFileLargerThanTheAddressSpaceLeftComesIn)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not live under an address-space limit";
#else
    const uint32_t size = 256u << 20;
    const uint32_t headroom = 64u << 20; // the loader's threads and rooms fit; a quarter of the file does not
    Md5State expected;
    {
        std::vector<PackageFile> files{{u"big.bin", std::string(), Packing::Zlib}};
        std::string& bytes = files[0].bytes;
        bytes.assign(size, '\0'); // packs fastest: the test is about memory, not about zlib
        bytes.replace(0, 5, "first");
        bytes.replace(size - 4, 4, "last");
        expected = Md5(bytes.data(), size);
        server.Serve("/game.zoa", BuildPackage(files));
    }
    {
        AddressSpaceLimit limit(headroom);
        ASSERT_TRUE(limit.active);
        void* whole = std::malloc(size); // the limit is real: the file cannot be held whole
        EXPECT_EQ(whole, nullptr);
        std::free(whole);
        Create();
        Setup(u"zoaurl", server.Url("/game.zoa"));
        ASSERT_TRUE(TickUntil([&] { return Running(); })) << ErrorLog();
    }
    EXPECT_EQ(ErrorLog(), "");
    EXPECT_EQ(FileSize(folder.Path(Game(u"big.bin").c_str()).Text()), int64_t(size));
    EXPECT_EQ(FileMd5(folder.Path(Game(u"big.bin").c_str()).Text()), expected);
#endif
}
