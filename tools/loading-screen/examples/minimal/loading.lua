-- The smallest useful loading screen: a bar that follows the loader's progress and its percentage.
local gdi = _gdi
local font = gdi:loadFont("DejaVu Sans", 18)

gdi:onRender(function()
    local w, h = gdi.w, gdi.h
    local left, top, right = 40, math.floor(h / 2) - 10, w - 40
    local filled = left + math.floor((right - left) * gdi.progress)
    gdi:fillRect(left, top, right, top + 20, 0xFF303030)
    gdi:fillRect(left, top, filled, top + 20, 0xFF3FB950)
    gdi:drawText(font, string.format("%d %%", math.floor(gdi.progress * 100)), left, top + 28, right, top + 60,
        _GDI.hCenter, 0xFFFFFFFF)
end)
