// make-spinner-gif OUT: writes the example loading screen's spinner, an animated GIF of a ring of dots with
// a bright dot going round.
#include "tools/loading-screen/ImageFiles.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace
{

const int32_t Size = 48, DotCount = 8;
const uint32_t Background = 0xFF0D1117; // the example screen's background, as the GIF has no transparency
const uint32_t DotColours[] = {0xFF2F81F7, 0xFF2868C4, 0xFF214F91, 0xFF1A375F}; // the lead dot, then fading
const uint16_t FrameDelay = 8;                                                  // hundredths of a second

Zelto::Picture SpinnerFrame(int32_t lead)
{
    Zelto::Picture frame = Zelto::Picture::Plain(Size, Size, Background);
    const double centre = (Size - 1) / 2.0, radius = Size * 0.36, dotRadius = Size * 0.08;
    const double pi = std::acos(-1.0);
    for (int32_t dot = 0; dot < DotCount; ++dot)
    {
        int32_t behind = (lead - dot + DotCount) % DotCount;
        uint32_t colour = DotColours[behind < 3 ? behind : 3];
        double angle = 2 * pi * dot / DotCount - pi / 2;
        double dotX = centre + radius * std::cos(angle), dotY = centre + radius * std::sin(angle);
        for (int32_t y = 0; y < Size; ++y)
            for (int32_t x = 0; x < Size; ++x)
                if (std::hypot(x - dotX, y - dotY) <= dotRadius)
                    frame.argb[size_t(y) * Size + size_t(x)] = colour;
    }
    return frame;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make-spinner-gif OUT\n");
        return 2;
    }
    std::vector<Zelto::Picture> frames;
    for (int32_t lead = 0; lead < DotCount; ++lead)
        frames.push_back(SpinnerFrame(lead));
    std::string gif = Zelto::GifFile(frames, std::vector<uint16_t>(frames.size(), FrameDelay));
    std::ofstream out(argv[1], std::ios::binary);
    out.write(gif.data(), std::streamsize(gif.size()));
    if (!out.flush())
    {
        std::fprintf(stderr, "make-spinner-gif: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
