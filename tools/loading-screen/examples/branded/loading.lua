-- A branded loading screen: a background picture, the logo, a tiled strip along the foot, a title in one
-- typeface and the figures in another. The pictures lie beside this script (drawn by ../make-images.py).
local gdi = _gdi

local background = gdi:loadImage("background.png")
local logo = gdi:loadImage("logo.png")
local pattern = gdi:loadImage("pattern.png")
local titleFont = gdi:loadFont("DejaVu Serif", 34)
local figureFont = gdi:loadFont("DejaVu Sans Mono", 14)

local gold, cream, shade = 0xFFFFC878, 0xFFFFF4E0, 0x80000000
gdi.bgColor = 0xFF12183A -- the background picture's top colour, for windows larger than the picture

gdi:onRender(function()
    local w, h = gdi.w, gdi.h
    -- The picture at its own size, centred; beyond its edges drawImage repeats it mirrored.
    local bw, bh = gdi:getImageWidth(background), gdi:getImageHeight(background)
    gdi:drawImage(background, math.floor((w - bw) / 2), math.floor((h - bh) / 2), math.max(w, bw), math.max(h, bh))

    local size = gdi:getImageWidth(logo)
    local logoTop = math.floor(h * 0.18)
    gdi:drawImage(logo, math.floor((w - size) / 2), logoTop)
    gdi:drawText(titleFont, "Harbour Lights", 0, logoTop + size + 8, w, logoTop + size + 56,
        _GDI.hCenter + _GDI.vTop, cream)

    -- A strip along the foot: a tile repeated across the whole width (drawImage with a width larger than the
    -- tile repeats it, mirrored).
    local stripTop = h - 48
    gdi:fillRect(0, stripTop, w, h, shade)
    gdi:drawImage(pattern, 0, stripTop, w, 48)

    -- The bar: a thin gold line over a shaded track, the figures underneath in the second typeface.
    local left, right, top = math.floor(w * 0.2), math.floor(w * 0.8), math.floor(h * 0.68)
    gdi:fillRect(left, top, right, top + 6, shade)
    gdi:fillRect(left, top, left + math.floor((right - left) * gdi.progress), top + 6, gold)
    local figures = string.format("%3d%%   %d/%d files   %.1f/%.1f MB", math.floor(gdi.progress * 100),
        gdi.finishCount, gdi.resCount, gdi.finishSize / 1048576, gdi.resSize / 1048576)
    gdi:drawText(figureFont, figures, left, top + 14, right, top + 40, _GDI.hCenter + _GDI.vTop, cream)
end)
