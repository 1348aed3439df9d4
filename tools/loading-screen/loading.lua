-- An example loading screen. The loader runs "loading.lua" from the folder it starts in and draws the screen
-- through its renderer, the global "_gdi": a spinner, a title, a progress bar with its percentage, the
-- transfer speed, and the files and bytes done so far. "spinner.gif" lies beside this file.
local gdi = _gdi

local white, grey, dim, accent = 0xFFFFFFFF, 0xFF8B949E, 0xFF30363D, 0xFF2F81F7
local titleFont = gdi:loadFont("DejaVu Sans", 30)
local textFont = gdi:loadFont("DejaVu Sans", 16)
local spinner = gdi:loadImage("spinner.gif") -- 0 when the file is missing: then no spinner is drawn

gdi.bgColor = 0xFF0D1117

local function megabytes(bytes)
    return string.format("%.1f MB", bytes / 1048576)
end

-- The loader gives its speed in kilobytes per second.
local function speedText(kilobytesPerSecond)
    if kilobytesPerSecond >= 1024 then
        return string.format("%.1f MB/s", kilobytesPerSecond / 1024)
    end
    return string.format("%.0f KB/s", kilobytesPerSecond)
end

gdi:onRender(function()
    local w, h = gdi.w, gdi.h
    local barWidth, barHeight = math.floor(w * 0.6), 20
    local left, top = math.floor((w - barWidth) / 2), math.floor(h / 2)
    local progress = math.min(math.max(gdi.progress, 0), 1)

    -- The spinner sits centred above the title, which ends 30 pixels above the bar.
    local titleTop = top - 80
    if spinner ~= 0 then
        local size = gdi:getImageWidth(spinner)
        local spinnerTop = math.max(titleTop - size - 8, 0)
        gdi:drawImage(spinner, math.floor((w - size) / 2), spinnerTop)
    end
    gdi:drawText(titleFont, "Loading", 0, titleTop, w, top - 30, _GDI.hCenter + _GDI.vBottom, white)

    gdi:fillRect(left, top, left + barWidth, top + barHeight, dim)
       :fillRect(left, top, left + math.floor(barWidth * progress), top + barHeight, accent)
       :drawRect(left, top, left + barWidth, top + barHeight, grey)
    gdi:drawText(textFont, string.format("%d%%", math.floor(progress * 100)), left, top + barHeight + 8,
        left + barWidth, top + barHeight + 32, _GDI.hCenter + _GDI.vTop, white)

    local details = string.format("%s    files %d / %d    %s / %s", speedText(gdi.speed), gdi.finishCount,
        gdi.resCount, megabytes(gdi.finishSize), megabytes(gdi.resSize))
    gdi:drawText(textFont, details, left, top + barHeight + 40, left + barWidth, top + barHeight + 64,
        _GDI.hCenter + _GDI.vTop, grey)
end)
