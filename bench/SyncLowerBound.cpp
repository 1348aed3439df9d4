// The least a first sync can cost with the plain libraries, for the sync benchmark to measure the loader
// against: two threads, each taking the next entry, fetch its bytes with libcurl and, as they arrive, unpack
// them (zlib, liblzma), digest them (OpenSSL's MD5) and write them to the file under its name. Nothing else:
// no temporary file, no kept bytes, no progress, no retry.
//
//   zelto_sync_lower_bound URL < ENTRIES
//
// ENTRIES has a line per file: name, offset and size in the package, "plain", "zlib" or "lzma", the LZMA
// header of the entry (13 bytes in hex, or "-") and the expected MD5 in hex, as bench/sync-vs-pipeline lists
// them. Exits 1 when a file cannot be fetched, unpacked or written, or does not match its digest.
#include <curl/curl.h>
#include <fcntl.h>
#include <lzma.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr size_t PackedBlockHeaderBytes = 20; // before the zlib or LZMA stream of a packed entry
constexpr size_t RoomBytes = 256 * 1024;      // unpacked bytes between the decoder and the digest and file

struct Entry
{
    std::string name, method, alone, digest;
    uint64_t offset = 0, size = 0;
};

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
    {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::vector<uint8_t> FromHex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// One entry on its way: the fetched bytes unpack into a room, which is digested and written.
class EntrySync
{
public:
    explicit EntrySync(const Entry& entry) : mEntry(entry), mDigest(EVP_MD_CTX_new(), EVP_MD_CTX_free)
    {
        EVP_DigestInit_ex(mDigest.get(), EVP_md5(), nullptr);
        mFile = open(entry.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        bool ready = mFile >= 0;
        if (entry.method == "zlib")
            ready = ready && inflateInit(&mZlib) == Z_OK;
        if (entry.method == "lzma")
        {
            std::vector<uint8_t> header = FromHex(entry.alone);
            ready = ready && lzma_alone_decoder(&mLzma, UINT64_MAX) == LZMA_OK &&
                    Take(header.data(), header.size());
        }
        mFailed = !ready;
    }
    ~EntrySync()
    {
        inflateEnd(&mZlib);
        lzma_end(&mLzma);
        if (mFile >= 0)
            close(mFile);
    }

    bool Take(const uint8_t* bytes, size_t count)
    {
        if (mFailed)
            return false;
        if (mEntry.method == "plain")
            return Put(bytes, count);
        if (mEntry.method == "zlib")
        {
            mZlib.next_in = const_cast<uint8_t*>(bytes);
            mZlib.avail_in = uInt(count);
            while (mZlib.avail_in != 0 && !mFailed)
            {
                mZlib.next_out = mRoom;
                mZlib.avail_out = RoomBytes;
                int result = inflate(&mZlib, Z_NO_FLUSH);
                mFailed =
                    (result != Z_OK && result != Z_STREAM_END) || !Put(mRoom, RoomBytes - mZlib.avail_out);
                if (result == Z_STREAM_END)
                    break;
            }
            return !mFailed;
        }
        mLzma.next_in = bytes;
        mLzma.avail_in = count;
        while (mLzma.avail_in != 0 && !mFailed)
        {
            mLzma.next_out = mRoom;
            mLzma.avail_out = RoomBytes;
            lzma_ret result = lzma_code(&mLzma, LZMA_RUN);
            mFailed =
                (result != LZMA_OK && result != LZMA_STREAM_END) || !Put(mRoom, RoomBytes - mLzma.avail_out);
            if (result == LZMA_STREAM_END)
                break;
        }
        return !mFailed;
    }

    bool Matches()
    {
        uint8_t digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(mDigest.get(), digest, &length);
        return !mFailed && Hex(digest, length) == mEntry.digest;
    }

private:
    bool Put(const uint8_t* bytes, size_t count)
    {
        EVP_DigestUpdate(mDigest.get(), bytes, count);
        for (size_t written = 0; written < count;)
        {
            ssize_t wrote = write(mFile, bytes + written, count - written);
            if (wrote <= 0)
                return false;
            written += size_t(wrote);
        }
        return true;
    }

    const Entry& mEntry;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> mDigest;
    z_stream mZlib{};
    lzma_stream mLzma = LZMA_STREAM_INIT;
    int mFile = -1;
    bool mFailed = false;
    uint8_t mRoom[RoomBytes];
};

size_t Received(char* bytes, size_t, size_t count, void* sync)
{
    return static_cast<EntrySync*>(sync)->Take(reinterpret_cast<uint8_t*>(bytes), count) ? count : 0;
}

bool Fetch(CURL* curl, const std::string& url, const Entry& entry)
{
    auto sync = std::make_unique<EntrySync>(entry);
    uint64_t first = entry.offset + (entry.method == "plain" ? 0 : PackedBlockHeaderBytes);
    std::string range = std::to_string(first) + "-" + std::to_string(entry.offset + entry.size - 1);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Received);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, sync.get());
    bool fetched = curl_easy_perform(curl) == CURLE_OK;
    bool matches = sync->Matches();
    if (!fetched || !matches)
        std::cerr << entry.name << (fetched ? ": wrong digest\n" : ": not fetched\n");
    return fetched && matches;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: zelto_sync_lower_bound URL < ENTRIES\n";
        return 2;
    }
    std::vector<Entry> entries;
    for (Entry entry;
         std::cin >> entry.name >> entry.offset >> entry.size >> entry.method >> entry.alone >> entry.digest;)
        entries.push_back(entry);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]
    {
        CURL* curl = curl_easy_init();
        for (size_t i = next++; i < entries.size(); i = next++)
            if (!Fetch(curl, argv[1], entries[i]))
                failed = true;
        curl_easy_cleanup(curl);
    };
    std::thread second(work);
    work();
    second.join();
    curl_global_cleanup();
    return failed ? 1 : 0;
}
