-- Metatables: __index chains (tables and functions), __newindex, operators, __call, __tostring, __gc, and
-- lookups through them in hot loops.
local base = {greet = function(self) return "hello " .. self.name end, level = "base"}
local middle = setmetatable({level2 = "middle"}, {__index = base})
local leaf = setmetatable({name = "leaf"}, {__index = middle})
print("chain", leaf:greet(), leaf.level, leaf.level2, rawget(leaf, "level"))

local calls = 0
local computed = setmetatable({}, {__index = function(t, k) calls = calls + 1; return k * 2 end})
local s = 0
for i = 1, 5000 do s = s + computed[i % 100] end
print("computed", s, calls)

local log = {}
local guarded = setmetatable({}, {__newindex = function(t, k, v) log[#log + 1] = k; rawset(t, k, v) end})
guarded.a = 1; guarded.b = 2; guarded.a = 3
print("newindex", table.concat(log, ","), guarded.a)

local V = {}
V.__index = V
V.__add = function(a, b) return setmetatable({x = a.x + b.x}, V) end
V.__eq = function(a, b) return a.x == b.x end
V.__lt = function(a, b) return a.x < b.x end
V.__le = function(a, b) return a.x <= b.x end
V.__concat = function(a, b) return tostring(a) .. "|" .. tostring(b) end
V.__tostring = function(a) return "V(" .. a.x .. ")" end
V.__call = function(self, n) return self.x * n end
V.__unm = function(a) return setmetatable({x = -a.x}, V) end
local function new(x) return setmetatable({x = x}, V) end
local a, b = new(2), new(5)
print("ops", tostring(a + b), a == new(2), a < b, b <= a, a .. b, a(10), tostring(-a))

local acc = new(0)
for i = 1, 2000 do acc = acc + new(1) end
print("hot add", tostring(acc))

-- Garbage is made inside functions that have returned, so no stale stack slot keeps any of it alive.
local collected = 0
local function makeProxies()
    for i = 1, 50 do
        local p = newproxy(true)
        getmetatable(p).__gc = function() collected = collected + 1 end
    end
end
makeProxies()
collectgarbage("collect")
collectgarbage("collect")
print("gc metamethod", collected)

local proxy = setmetatable({}, {__index = leaf})
local hits = 0
for i = 1, 10000 do if proxy.level == "base" then hits = hits + 1 end end
print("deep hot", hits)
print("ok")
