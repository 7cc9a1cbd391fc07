-- Random tiles of the built-in 1024 x 768 map (zooms 0..5), or only `fixed` of them when
-- the environment variable TILES is set.
local fixed = tonumber(os.getenv("TILES") or "0")
local list = {}
local function tile()
  local z = math.random(0, 5)
  local cells = z <= 2 and 256 * 2 ^ (2 - z) or 256 / 2 ^ (z - 2)
  local x = math.random(0, math.ceil(1024 / cells) - 1)
  local y = math.random(0, math.ceil(768 / cells) - 1)
  return string.format("/tiles/%d/%d/%d.png?relief=%d&season=%d&shade=%d", z, x, y,
                       math.random(1, 2), math.random(0, 1), math.random(0, 1))
end
init = function(args)
  math.randomseed(19)
  for i = 1, fixed do list[i] = tile() end
end
request = function()
  local path = fixed > 0 and list[math.random(1, fixed)] or tile()
  return wrk.format("GET", path)
end
