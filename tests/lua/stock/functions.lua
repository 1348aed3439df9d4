-- Closures, upvalues, varargs, recursion, tail calls and coroutines.
local function adders()
    local fs = {}
    for i = 1, 5 do fs[i] = function(x) return x + i end end
    return fs
end
local fs = adders()
print("loop upvalues", fs[1](10), fs[5](10))

local function pair()
    local shared = 0
    return function() shared = shared + 1 return shared end, function() return shared end
end
local inc, get = pair()
for _ = 1, 100 do inc() end
print("shared upvalue", get())

local function va(...) return select("#", ...), select(2, ...) end
print("varargs", va(1, nil, 3, nil))
print("unpack", unpack({1, 2, 3}, 2))

local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
print("fib", fib(25))
local function loop(n, acc) if n == 0 then return acc end return loop(n - 1, acc + n) end
print("tail calls", loop(100000, 0))

local producer = coroutine.create(function(a, b)
    local got = coroutine.yield(a + b)
    for i = 1, 3 do got = got + coroutine.yield(i) end
    return "done", got
end)
print("resume", coroutine.resume(producer, 1, 2))
print("resume", coroutine.resume(producer, 10))
print("resume", coroutine.resume(producer, 1))
print("resume", coroutine.resume(producer, 1))
print("resume", coroutine.resume(producer, 1))
print("status", coroutine.status(producer), coroutine.resume(producer))

local gen = coroutine.wrap(function() for i = 1, 1000 do coroutine.yield(i * i) end end)
local s = 0
for _ = 1, 1000 do s = s + gen() end
print("wrap", s)

local failing = coroutine.create(function() error("inside") end)
local ok, message = coroutine.resume(failing)
print("coroutine error", ok, message, coroutine.status(failing))

local across = coroutine.wrap(function()
    local ok2, value = pcall(function() return coroutine.yield("from pcall") + 1 end)
    return ok2, value
end)
print("yield across pcall", across(), across(41))
print("ok")
