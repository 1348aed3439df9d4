-- Reads that miss: globals behind a strict __index on _G, string methods, keys stored as nil, holes in arrays,
-- metatables without __index, in hot loops and once; and the type names of library argument errors.
local misses = 0
for i = 1, 2000 do
  local t = {1, 2, nil, 4, x = i, y = nil}
  t.x = nil
  if t[3] == nil and t.x == nil and t.y == nil and t[100] == nil and t[2.5] == nil then misses = misses + 1 end
end
print("misses", misses)

local noindex = setmetatable({a = 1}, {__tostring = function() return "no index" end})
local n = 0
for i = 1, 2000 do if noindex.b == nil and noindex.a == 1 then n = n + 1 end end
print("metatable without __index", n, tostring(noindex))

local s = "text"
local lengths = 0
for i = 1, 2000 do lengths = lengths + s:len() + ("x"):rep(i % 3):len() end
print("string methods", lengths, s:upper(), pcall(function() return s.nothing end))

local asked = {}
setmetatable(_G, {__index = function(_, k) asked[#asked + 1] = k; return k == "declared" and 42 or nil end})
local found = 0
for i = 1, 300 do if declared == 42 and undeclared == nil then found = found + 1 end end
print("strict globals", found, #asked, asked[1], asked[2])
setmetatable(_G, nil)

for _, f in ipairs({function() return string.rep() end, function() return table.concat(nil) end,
                    function() return math.floor({}) end, function() return ipairs(true) end,
                    function() return setmetatable(1, {}) end}) do
  print("type error", select(2, pcall(f)))
end
print("ok")
