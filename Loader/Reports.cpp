// Fire-and-forget reports to the statistics server: state changes, progress at a fixed interval, the finish
// with the whole loading time, and the user's server choice. Values are appended as they are, unescaped.
#include "Loader/Zelto3DLoader.h"

#include "Source/Common/StringFormatter.h"
#include "Source/Platform/WebDownload.h"

namespace Zelto
{

String Zelto3DLoader::AppVersionItem() const
{
    return appVersion.IsEmpty() ? String() : Format(u"&av=%ls", appVersion.Text());
}

void Zelto3DLoader::SendReport(const String& url)
{
    if (reportHandle == nullptr)
        reportHandle = CreateWebHandle(true);
    PostRequest(reportHandle, url.Text());
}

// The tick URL carries the session, the build and the Flash version; then the tick start goes out.
void Zelto3DLoader::BuildTickUrl(const String& value)
{
    tickUrl = value;
    if (!sessionId.IsEmpty() && value.Find(u"&s=") < 0)
        tickUrl = Format(u"%ls&s=%ls", tickUrl.Text(), sessionId.Text());
    if (!buildStamp.IsEmpty() && value.Find(u"&cv=") < 0)
        tickUrl = Format(u"%ls&cv=%ls", tickUrl.Text(), buildStamp.Text());
    if (!flashVersion.IsEmpty())
        tickUrl = Format(u"%ls&fv=%ls", tickUrl.Text(), flashVersion.Text());
    SendReport(Format(u"%ls&sg=%d", tickUrl.Text(), int(state)));
}

void Zelto3DLoader::SendStateReport(LoaderState reported)
{
    if (!tickUrl.IsEmpty())
        SendReport(Format(u"%ls&sg=%d%ls", tickUrl.Text(), int(reported), AppVersionItem().Text()));
}

// Time counts only while there is a tick URL; one progress report per whole interval, at most one per tick.
void Zelto3DLoader::CountReportTime(uint32_t elapsedMs)
{
    if (tickUrl.IsEmpty())
        return;
    tickElapsed += elapsedMs;
    if (tickElapsed < lastTickReport + uint32_t(tickInterval))
        return;
    lastTickReport += uint32_t(tickInterval);
    SendReport(Format(u"%ls&sg=%d&pg=%f%ls&m=0&t=%d", tickUrl.Text(), int(state), double(progress),
                      AppVersionItem().Text(), int(lastTickReport / 1000)));
}

void Zelto3DLoader::SendFinishReport()
{
    if (!tickUrl.IsEmpty())
        SendReport(Format(u"%ls&sg=%d%ls&m=0&t=%d&f=1", tickUrl.Text(), int(state), AppVersionItem().Text(),
                          int(tickElapsed / 1000)));
    lastTickReport = 0;
    tickElapsed = 0;
}

} // namespace Zelto
