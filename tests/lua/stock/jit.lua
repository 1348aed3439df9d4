-- The JIT switches and code that the compiler traces: type-unstable loops, side exits, calls in loops.
print("jit", type(jit.status()), jit.version ~= nil)
jit.off()
local function work(n)
    local s = 0
    for i = 1, n do
        if i % 3 == 0 then s = s + i elseif i % 5 == 0 then s = s - i else s = s + 0.5 end
    end
    return s
end
print("off", work(100000))
jit.on()
print("on", work(100000))
jit.flush()
print("flushed", work(100000))

local values = {1, "2", 3.5, "4.5", true, nil, 7}
local total = 0
for round = 1, 2000 do
    for i = 1, 7 do
        local v = values[i]
        if type(v) == "number" then total = total + v elseif type(v) == "string" then total = total + tonumber(v) end
    end
end
print("unstable types", total)

local function helper(t, i) return t[i] or 0 end
local arr = {}
for i = 1, 100 do arr[i] = i end
local s = 0
for round = 1, 500 do for i = 1, 120 do s = s + helper(arr, i) end end
print("calls and misses", s)

jit.off(work)
print("off for one function", work(1000))
jit.on(work)
print("ok")
