#include "Source/Platform/Host/HostWindow.h"

#include "Source/Common/StringEncoding.h"

#include <cairo.h>

#include <ctime>
#include <vector>

namespace Zelto
{

namespace
{

// The surface the plug-in draws into; its `user` pointer leads back here.
struct HostSurface
{
    ZeltoSurface surface{};
    std::vector<uint32_t> pixels;
};

void Present(ZeltoSurface*) {}

const uint32_t SizeMessage = 5; // the window message of a new client size, as Windows numbers it

} // namespace

HostWindow::HostWindow(int32_t width, int32_t height, ZeltoMessageFunction forward) : mForward(forward)
{
    auto* host = new HostSurface;
    host->pixels.assign(size_t(width) * size_t(height), 0);
    host->surface = ZeltoSurface{width, height, host->pixels.data(), Present, host};
    mHandle = &host->surface;
}

HostWindow::~HostWindow()
{
    delete static_cast<HostSurface*>(static_cast<ZeltoSurface*>(mHandle)->user);
}

bool HostWindow::Pump()
{
    return true; // a surface has no messages and cannot be closed
}

bool HostWindow::SaveFrame(const char16_t* path)
{
    auto* surface = static_cast<ZeltoSurface*>(mHandle);
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(surface->pixels), CAIRO_FORMAT_RGB24, surface->width,
        surface->height, surface->width * 4);
    bool saved = cairo_surface_write_to_png(image, StringToUtf8(path).c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(image);
    return saved;
}

void HostWindow::ClientSize(int32_t& width, int32_t& height) const
{
    auto* surface = static_cast<ZeltoSurface*>(mHandle);
    width = surface->width;
    height = surface->height;
}

void HostWindow::Resize(int32_t width, int32_t height)
{
    auto* host = static_cast<HostSurface*>(static_cast<ZeltoSurface*>(mHandle)->user);
    host->pixels.assign(size_t(width) * size_t(height), 0);
    host->surface.width = width;
    host->surface.height = height;
    host->surface.pixels = host->pixels.data();
    if (mForward != nullptr)
        mForward(0, SizeMessage, 0, intptr_t((uint32_t(height) << 16) | (uint32_t(width) & 0xFFFF)));
}

std::vector<uint32_t> HostWindow::Pixels(int32_t width, int32_t height) const
{
    // The surface's own pixels: before any pass they are all 0, which no frame shows (frames are opaque).
    auto* surface = static_cast<ZeltoSurface*>(mHandle);
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0);
    for (int32_t y = 0; y < height && y < surface->height; ++y)
        for (int32_t x = 0; x < width && x < surface->width; ++x)
            pixels[size_t(y) * size_t(width) + size_t(x)] =
                surface->pixels[size_t(y) * size_t(surface->width) + size_t(x)];
    return pixels;
}

void HostSleep(uint32_t milliseconds)
{
    timespec delay{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    nanosleep(&delay, nullptr);
}

const char16_t* PluginFileName()
{
    return u"libzelto_loader.so";
}

} // namespace Zelto
