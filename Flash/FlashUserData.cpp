// The user-data file: what the movie stores as user data during one run, appended item by item. Each write
// makes the whole new content in a temporary file beside it and renames that over the file, so a write that
// fails or is cut off leaves the previous content whole.
#include "Common/DataBuffer.h"
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

bool WriteWhole(const String& path, const DataBuffer& content)
{
    File file;
    if (!file.Create(path.Text()))
        return false;
    bool written = file.Write(content.Data(), content.Size());
    file.Close();
    return written;
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

    String path = UserDataPath();
    String temporary = Format(u"%ls.new", path.Text());
    DataBuffer content;
    if (FileExists(path.Text()) && !LoadFile(content, path.Text()))
        return; // an unreadable file is not replaced by one that lacks its content
    if (!content.Append(item, itemBytes))
        return;
    if (WriteWhole(temporary, content) && MoveFileOver(temporary.Text(), path.Text()))
        return;
    DeleteFileAt(temporary.Text());
    PrintTrace(u"[FLASH] Failed to write flash user data: %ls", text.Text());
}

} // namespace Zelto
