-- Weak tables: weak keys, weak values, both; strings and numbers stay; collection under pressure. Garbage is
-- made inside functions that have returned, so no stale stack slot keeps any of it alive.
local function count(t) local n = 0 for _ in pairs(t) do n = n + 1 end return n end

local wk = setmetatable({}, {__mode = "k"})
local wv = setmetatable({}, {__mode = "v"})
local kv = setmetatable({}, {__mode = "kv"})
local keep = {}
local function fill()
    for i = 1, 100 do
        local key = {}
        wk[key] = i
        wv[i] = {}
        kv[key] = {}
        if i % 10 == 0 then keep[#keep + 1] = key; wv[i] = key end
    end
    wv.str = "string"; wv.num = 42
end
fill()
collectgarbage("collect")
print("weak keys", count(wk), "weak values", count(wv), "both", count(kv))
print("kept", wk[keep[1]], wv.str, wv.num)

-- A value that refers to its own weak key keeps the entry: Lua 5.1 tables are not ephemerons.
local eph = setmetatable({}, {__mode = "k"})
local function selfReference() local k = {} eph[k] = {k} end
selfReference()
collectgarbage("collect")
print("self reference", count(eph))

-- Pressure: many short-lived tables while a weak cache is in use.
local cache = setmetatable({}, {__mode = "v"})
local live = {}
local function churn()
    for i = 1, 20000 do
        local t = {i}
        cache[i % 500] = t
        if i % 1000 == 0 then live[#live + 1] = t end
    end
end
churn()
collectgarbage("collect")
print("cache", count(cache), #live, live[20][1])
print("ok")
