// The host's life: making the control, opening a movie, keeping the container to the window's size, and
// tearing it down. The exchange with the movie is in FlashExchange.cpp, the user-data file in
// FlashUserData.cpp.
#include "Flash/FlashHost.h"

#include "Common/DataBuffer.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"

namespace Zelto
{

FlashHost::FlashHost(FlashHostOwner* loader, FlashPlatform& platform) : loader(loader), platform(platform)
{
    ClientArea area = platform.WindowArea(loader->ParentWindow());
    // A window without a size yet gets a 1 x 1 container, fitted on the first tick.
    resizePending = area.IsEmpty();
    if (resizePending)
        area = ClientArea{1, 1};
    flash = platform.CreateControl(loader->ParentWindow(), area);
    controlCreated = flash != nullptr;
    if (controlCreated)
    {
        flash->SetBackgroundColor(0);
        ReportVersion();
    }
    // Each run starts without the previous run's user data.
    DeleteFileAt(UserDataPath().Text());
}

FlashHost::~FlashHost()
{
    delete flash;
}

bool FlashHost::OpenMovie(const char16_t* name)
{
    if (flash == nullptr)
        return false;
    String path = Format(u"%ls\\%ls", CurrentDirectory().Text(), name);
    DataBuffer movie;
    bool found = LoadEmbeddedResource(name, movie) && movie.Size() > 0;
    if (!found && !(LoadFile(movie, name) && movie.Size() > 0))
        return false;
    // A movie that does not unpack is handed over as it is: the control decides what it can play.
    Unpack(movie);
    // The control loads movies from files only; a failed write leaves whatever file was there to it.
    SaveFile(path.Text(), movie.Data(), movie.Size());
    if (!flash->LoadMovie(0, path))
        return false;
    flash->Play();
    ClientArea area = platform.WindowArea(loader->ParentWindow());
    resizePending = area.IsEmpty();
    if (!resizePending)
        flash->SetZoomRect(0, 0, area.width, area.height);
    flash->SetMenu(false);
    InitMovieVariables();
    return true;
}

void FlashHost::Resize(int32_t width, int32_t height)
{
    if (flash == nullptr || width == 0 || height == 0)
        return;
    flash->ResizeContainer(width, height);
    flash->SetZoomRect(0, 0, width, height);
}

void FlashHost::Tick()
{
    // Cleared even when the window is still empty: from then on only a size message resizes.
    if (resizePending)
    {
        ClientArea area = platform.WindowArea(loader->ParentWindow());
        Resize(area.width, area.height);
        resizePending = false;
    }
    if (flash == nullptr)
        return;
    SetMovieVariable(u"ZeltoLoaderProgress", FormatFloat(loader->HostProgress()));
    SetMovieVariable(u"ZeltoLoaderSpeed", FormatFloat(loader->HostSpeed()));
    ForwardWatchedVariables();
    HandleTrace();
    HandleUserData();
}

} // namespace Zelto
