-- Bytecode: string.dump of functions with and without debug information, loading it back, running it.
local function make()
    return function(a, b)
        local t = {a = a, b = b}
        local s = 0
        for i = 1, 100 do s = s + t.a * i - t.b end
        return s, ("%d-%d"):format(a, b)
    end
end
local f = make()
local dumped = string.dump(f)
local stripped = string.dump(f, true)
print("dump", type(dumped), #stripped <= #dumped)
local g = assert(loadstring(dumped))
local h = assert(loadstring(stripped))
print("loaded", g(2, 3))
print("stripped", h(2, 3))
print("same", select(1, f(5, 1)) == select(1, g(5, 1)))
print("text chunk", loadstring("return 1 + ...")(41))
print("bad chunk", loadstring("\27LJ\2garbage"))
print("syntax error", loadstring("return +"))
print("ok")
