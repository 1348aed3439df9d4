// The exchange with the running movie, all through its variables: the host writes progress and speed on every
// tick and polls the variables the movie sets (choices for the loader, trace lines, user data). "null", like
// an empty text, marks a variable the movie has not set.
#include "Common/Log.h"
#include "Flash/FlashHost.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

// Variables the movie may set once for the loader's Setup, in the order they are polled.
const char16_t* const WatchedNames[] = {u"zoaurl", u"zoaparam", u"selectedserver", u"appversion"};
// Indexes of the movie's latest trace message and user-data item.
const char16_t TraceIndexName[] = u"traceindex";
const char16_t UserDataIndexName[] = u"userdataindex";
const char16_t NotSet[] = u"null";

bool IsSet(const String& value)
{
    return !value.IsEmpty() && !value.Equals(NotSet);
}

} // namespace

String FlashHost::GetVariable(const char16_t* name) const
{
    return flash != nullptr ? flash->GetVariable(String(name)) : String();
}

void FlashHost::SetMovieVariable(const String& name, const String& value)
{
    if (flash != nullptr)
        flash->SetVariable(name, value);
}

void FlashHost::SetMovieVariables(const String& pairs)
{
    Array<String> parts;
    Split(pairs.Text(), parts, u"|", u" \t");
    for (int32_t i = 0; i + 1 < int32_t(parts.Length()); i += 2)
        SetMovieVariable(parts[i], parts[i + 1]);
}

void FlashHost::ReportVersion()
{
    String version = GetVariable(u"$version");
    if (version.IsEmpty())
        return;
    // "WIN 11,9,900,170" travels as one word: "WIN_11_9_900_170".
    version.ReplaceChar(u' ', u'_');
    version.ReplaceChar(u',', u'_');
    loader->Setup(String(u"flashversion"), version);
}

void FlashHost::InitMovieVariables()
{
    watchedVariables.Clear();
    for (const char16_t* name : WatchedNames)
    {
        watchedVariables.Add(String(name));
        SetMovieVariable(String(name), String(NotSet));
    }
    SetMovieVariable(String(TraceIndexName), String(NotSet));
    SetMovieVariable(String(UserDataIndexName), String(NotSet));
}

void FlashHost::ForwardWatchedVariables()
{
    Array<String> stillWatched;
    for (const String& name : watchedVariables)
    {
        String value = GetVariable(name.Text());
        if (IsSet(value))
            loader->Setup(name, value);
        else
            stillWatched.Add(name);
    }
    watchedVariables.Swap(stillWatched);
}

// Only the message the current index names is handled: an index that changes twice between two ticks loses
// the earlier message, and one that does not change hides a new message.
void FlashHost::HandleTrace()
{
    String index = GetVariable(TraceIndexName);
    if (!IsSet(index) || index.Equals(lastTraceIndex.Text()))
        return;
    String message = GetVariable(Format(u"tracemsg%ls", index.Text()).Text());
    PrintTrace(u"[ZG] Loader log %ls : %ls", index.Text(), message.Text());
    lastTraceIndex = index;
}

void FlashHost::HandleUserData()
{
    String index = GetVariable(UserDataIndexName);
    if (!IsSet(index) || index.Equals(lastUserDataIndex.Text()))
        return;
    WriteUserData(GetVariable(Format(u"userdata%ls", index.Text()).Text()));
    lastUserDataIndex = index;
}

} // namespace Zelto
