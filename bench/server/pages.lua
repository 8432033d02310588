-- wrk asks for the start page and the highscore page in turn, as players' menus and browsers do.
local paths = { "/korvaldinternal", "/korvaldinternal/highscore.html" }
local turn = 0

function request()
  turn = turn % #paths + 1
  return wrk.format("GET", paths[turn])
end
