// No memory for a decoder is told as such, never as a damaged file. The process's address-space limit
// stands in for a 32-bit process whose address space is used up: an LZMA block whose dictionary does not fit.
#include "Loader/FileWork.h"

#include "AwaitFileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Worker.h"
#include "support/AddressSpaceLimit.h"
#include "support/TempDirectory.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Zelto;

TEST(FileWork, NoMemoryForTheDecoderIsToldApartFromDamage)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not live under an address-space limit";
#else
    // 64 KiB that do not pack (the stream may then unpack to up to 512 MiB), stated as 64 MiB with a 64 MiB
    // dictionary: beyond what the C library serves from memory it mapped already, so the dictionary needs a
    // mapping of its own, which the limit refuses.
    std::string content(64u << 10, '\0');
    uint32_t seed = 12345;
    for (char& byte : content)
        byte = char((seed = seed * 1103515245u + 12345u) >> 24);
    DataBuffer block;
    String error;
    ASSERT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(content.data()), uint32_t(content.size()),
                          PackedLzma, block, error));
    const uint32_t stated = 64u << 20;
    for (uint32_t i = 0; i < 4; ++i)
    {
        block.Data()[PackedBlockPropertiesOffset + 1 + i] = uint8_t(stated >> (8 * i));
        block.Data()[PackedBlockSizeOffset + i] = uint8_t(stated >> (8 * i));
    }

    TempDirectory folder;
    FetchedFile work;
    work.name = folder.Path(u"file.bin");
    work.expected = Md5(content.data(), uint32_t(content.size()));
    work.output.Start(work.name);
    work.unpacker.Start(work.output, block.Size());
    {
        AddressSpaceLimit limit(4u << 20);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(work.unpacker.Take(block.Data(), PackedBlockHeaderSize + 100));
    }
    EXPECT_EQ(work.unpacker.Failure(), UnpackFailure::OutOfMemory);
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::OutOfMemory);
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"file.bin")));
#endif
}
