-- An animated loading screen: a bouncing ball (the frames of "runner.gif", which the renderer advances by
-- itself) runs along the bar as far as the progress has come, a wave of dots moves with the transfer speed,
-- and the title pulses with the files done.
local gdi = _gdi

local runner = gdi:loadImage("runner.gif")
local font = gdi:loadFont("DejaVu Sans", 20)
local small = gdi:loadFont("DejaVu Sans", 13)
gdi.bgColor = 0xFF0D1117

local phase = 0 -- advanced by the speed: the dots run while bytes arrive and stop when none do

gdi:onRender(function()
    local w, h = gdi.w, gdi.h
    local progress = math.min(math.max(gdi.progress, 0), 1)
    local left, right, top = 60, w - 60, math.floor(h / 2)

    gdi:fillRect(left, top, right, top + 4, 0xFF30363D)
    gdi:fillRect(left, top, left + math.floor((right - left) * progress), top + 4, 0xFFFFB040)

    -- The ball stands on the bar where the progress has come to.
    local size = gdi:getImageWidth(runner)
    local x = left + math.floor((right - left) * progress) - math.floor(size / 2)
    gdi:drawImage(runner, x, top - size)

    -- Dots below the bar: a wave whose step follows the speed (kilobytes per second).
    phase = phase + gdi.speed / 20000
    for i = 0, 23 do
        local y = top + 40 + math.floor(8 * math.sin(phase + i * 0.5))
        local dx = left + math.floor((right - left) * i / 23)
        gdi:fillRect(dx - 2, y - 2, dx + 2, y + 2, 0xFF58A6FF)
    end

    -- The title brightens with every file done.
    local level = 0x60 + math.floor(0x9F * gdi.finishCount / math.max(gdi.resCount, 1))
    local colour = 0xFF000000 + level * 0x10000 + level * 0x100 + level
    gdi:drawText(font, "Loading the harbour", 0, top - 120, w, top - 80, _GDI.hCenter + _GDI.vBottom, colour)
    gdi:drawText(small, string.format("%.0f KB/s", gdi.speed), 0, top + 64, w, top + 90, _GDI.hCenter, 0xFF8B949E)
end)
