// The user-data file: what the movie stores as user data during one run, appended item by item. An item is
// added at the end in one write of at most 1023 bytes, so the file is never copied whole; a write that fails
// or is cut off short is taken back to the previous size, which leaves the previous content whole.
#include "Common/Log.h"
#include "Flash/FlashHost.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"

namespace Zelto
{

namespace
{

// One item keeps at most this many bytes less one (whole characters only); the rest is dropped silently.
constexpr uint32_t ItemBufferBytes = 1024;

// Appends in one write; false, with the file as it was, when the item could not be added whole.
bool AppendWhole(const String& path, const char* bytes, uint32_t count)
{
    File file;
    bool created = !FileExists(path.Text());
    if (!(created ? file.Create(path.Text()) : file.OpenReadWrite(path.Text())))
        return false;
    int64_t before = file.Size();
    uint32_t written = 0;
    bool appended = file.SeekEnd() && file.Write(bytes, count, &written) && written == count;
    if (!appended)
        file.SetSize(before);
    file.Close();
    if (!appended && created)
        DeleteFileAt(path.Text());
    return appended;
}

} // namespace

String UserDataPath()
{
    return Format(u"%ls\\flashdata.user", CurrentDirectory().Text());
}

void FlashHost::WriteUserData(const String& text)
{
    if (text.IsEmpty())
        return;
    char item[ItemBufferBytes];
    uint32_t itemBytes = 0;
    WideToUtf8(item, ItemBufferBytes, text.Text(), int32_t(text.Length()), &itemBytes);

    if (AppendWhole(UserDataPath(), item, itemBytes))
        return;
    PrintTrace(u"[FLASH] Failed to write flash user data: %ls", text.Text());
}

} // namespace Zelto
