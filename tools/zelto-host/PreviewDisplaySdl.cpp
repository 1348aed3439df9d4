// The preview's window on Linux: SDL2 shows each frame of the host's surface as a streaming texture and
// reports the size its user gives the window.
#include "tools/zelto-host/PreviewDisplay.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace Zelto
{

namespace
{

class SdlDisplay : public PreviewDisplay
{
public:
    ~SdlDisplay() override
    {
        if (mTexture != nullptr)
            SDL_DestroyTexture(mTexture);
        if (mRenderer != nullptr)
            SDL_DestroyRenderer(mRenderer);
        if (mWindow != nullptr)
            SDL_DestroyWindow(mWindow);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool Open(int32_t width, int32_t height, const char* title)
    {
        mWindow = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                   SDL_WINDOW_RESIZABLE);
        if (mWindow == nullptr)
            return false;
        mRenderer = SDL_CreateRenderer(mWindow, -1, 0);
        return mRenderer != nullptr;
    }

    bool Pump(int32_t& width, int32_t& height) override
    {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT)
                return false;
        SDL_GetWindowSize(mWindow, &width, &height);
        return true;
    }

    void Show(const std::vector<uint32_t>& pixels, int32_t width, int32_t height) override
    {
        if (width <= 0 || height <= 0)
            return;
        if (mTexture == nullptr || width != mTextureWidth || height != mTextureHeight)
        {
            if (mTexture != nullptr)
                SDL_DestroyTexture(mTexture);
            mTexture = SDL_CreateTexture(mRenderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                         width, height);
            mTextureWidth = width;
            mTextureHeight = height;
        }
        if (mTexture == nullptr)
            return;
        SDL_UpdateTexture(mTexture, nullptr, pixels.data(), width * 4);
        SDL_RenderClear(mRenderer);
        SDL_Rect shown{0, 0, width, height}; // one pixel for one: the screen is drawn at the window's size
        SDL_RenderCopy(mRenderer, mTexture, nullptr, &shown);
        SDL_RenderPresent(mRenderer);
    }

private:
    SDL_Window* mWindow = nullptr;
    SDL_Renderer* mRenderer = nullptr;
    SDL_Texture* mTexture = nullptr;
    int32_t mTextureWidth = 0, mTextureHeight = 0;
};

} // namespace

std::unique_ptr<PreviewDisplay> PreviewDisplay::Open(int32_t width, int32_t height, const char* title)
{
    // Without a display SDL's video would fall back to drivers that show nothing: the preview runs headless.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || display[0] == '\0') && (wayland == nullptr || wayland[0] == '\0'))
        return nullptr;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
        std::printf("zelto-host: no window (%s): the preview runs headless\n", SDL_GetError());
        return nullptr;
    }
    auto shown = std::make_unique<SdlDisplay>();
    if (!shown->Open(width, height, title))
    {
        std::printf("zelto-host: no window (%s): the preview runs headless\n", SDL_GetError());
        return nullptr;
    }
    return shown;
}

} // namespace Zelto
