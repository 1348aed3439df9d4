-- Strings: formatting, patterns, conversions, the string library in hot loops.
print(string.format("%d %5.2f %-5s| %x %X %o %e %g %q %%", 42, 3.14159, "ab", 255, 255, 8, 12345.678, 0.1,
    "a\nb\"c"))
print(string.format("%s %s %s", 1e15, 1e16, -0.0), 2 ^ 63, 1 / 3, 100, 1e300 * 1e10, -(1e300 * 1e10))
print(tostring(nil), tostring(true), tonumber("0x1F"), tonumber("  12  "), tonumber("1e2"), tonumber("z", 36),
    tonumber("abc"))
print(("hello world"):find("o w"), ("hello world"):find("l+"), ("key=value"):match("(%w+)=(%w+)"))
print(("a,b,,c"):gsub(",", ";"), ("abc"):gsub("%w", "%0%0"), ("hello"):gsub("l", {l = "L"}))
local words = {}
for w in ("the quick brown fox"):gmatch("%a+") do words[#words + 1] = w:upper() end
print(table.concat(words, "-"), ("abc"):rep(3, ","), ("Hello"):lower(), ("abc"):reverse(), ("abcdef"):sub(-3, -2))
print(string.byte("ABC", 1, 3), string.char(72, 105), #"\0\1\2", ("%d"):format(7))
local parts = {}
for i = 1, 2000 do parts[i] = string.format("%04d", i) end
local joined = table.concat(parts)
print(#joined, joined:sub(1, 12), joined:sub(-8))
local count = 0
for i = 1, 5000 do if ("item" .. i):find("9") then count = count + 1 end end
print("hot find", count)
print("ok")
