-- Collection under pressure: many tables, strings and closures, incremental steps, a full cycle, and data that
-- must survive all of it intact.
local survivors = {}
local checksum = 0
for round = 1, 50 do
    local batch = {}
    for i = 1, 2000 do
        local t = {round, i, tostring(i) .. ":" .. round}
        batch[i] = t
        checksum = (checksum + i * round) % 1000000007
    end
    survivors[round] = batch[round * 7 % 2000 + 1]
    collectgarbage("step", 10)
end
collectgarbage("collect")
local verify = 0
for round = 1, 50 do
    local t = survivors[round]
    verify = verify + t[1] * t[2]
    assert(t[3] == tostring(t[2]) .. ":" .. t[1])
end
print("survivors", #survivors, verify, checksum)

local function counter()
    local n = 0
    return function() n = n + 1; return n end
end
local counters = {}
for i = 1, 5000 do counters[i] = counter() end
for i = 1, 5000 do for _ = 1, i % 5 do counters[i]() end end
collectgarbage("collect")
local calls = 0
for i = 1, 5000 do calls = calls + counters[i]() end
print("closures", calls)

local parts = {}
for i = 1, 10000 do parts[#parts + 1] = string.rep("x", i % 17) end
local joined = table.concat(parts)
collectgarbage("collect")
print("strings", #joined)

collectgarbage("setpause", 100)
collectgarbage("setstepmul", 400)
for i = 1, 100000 do local _ = {i} end
print("tuned", collectgarbage("step", 0) ~= nil)
print("ok")
