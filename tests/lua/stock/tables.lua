-- Tables: array and hash parts, length, the table library, numeric and string keys, reads in hot loops.
local t = {}
for i = 1, 1000 do t[i] = i * 2 end
print("length", #t, t[1], t[500], t[1000], t[1001])
for i = 1, 500 do t[i] = nil end
print("after holes", t[501], t[1000])

local h = {}
for i = 1, 300 do h["key" .. i] = i end
local sum = 0
for i = 1, 300 do sum = sum + h["key" .. i] end
print("hash sum", sum)

local keys = {}
for k in pairs({alpha = 1, beta = 2, gamma = 3, delta = 4}) do keys[#keys + 1] = k end
table.sort(keys)
print("keys", table.concat(keys, ","))

local mixed = {1, 2, 3, x = "a", [2.5] = "half", [-1] = "minus", [true] = "yes"}
print("mixed", mixed[1], mixed.x, mixed[2.5], mixed[-1], mixed[true], #mixed)

local list = {}
for i = 1, 20 do table.insert(list, i) end
table.insert(list, 1, 0)
print("removed", table.remove(list), table.remove(list, 1), #list)
table.sort(list, function(a, b) return a > b end)
print("sorted", table.concat(list, " "))

-- Float and integer keys that compare equal are one key.
local f = {}
f[1] = "int"; f[1.0] = "float"; f[2 ^ 53] = "big"
print("float keys", f[1], f[2 ^ 53])

-- Reads in a hot loop, constant and variable keys, through nested tables.
local grid = {}
for y = 1, 64 do
    grid[y] = {}
    for x = 1, 64 do grid[y][x] = x * y end
end
local total = 0
for round = 1, 20 do
    for y = 1, 64 do
        local row = grid[y]
        for x = 1, 64 do total = total + row[x] end
    end
end
print("grid", total)
local record = {a = 1, b = 2, c = 3}
local acc = 0
for i = 1, 10000 do acc = acc + record.a + record.b * record.c end
print("record", acc)
local g = 0
for i = 1, 10000 do g = g + math.floor(i / 3) end
print("global reads", g)
print("ok")
