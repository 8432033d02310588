-- wrk publishes as the game does: a GET of score.php with one encoded record, the records
-- taken in turn from the file the load tool wrote (its name is the first script argument).
local records = {}
local turn = 0

function init(args)
  for line in io.lines(args[1]) do
    records[#records + 1] = line
  end
  -- Each of wrk's threads starts at another place in the list.
  turn = math.random(#records) - 1
end

function request()
  turn = turn % #records + 1
  return wrk.format("GET", "/score.php?cs=" .. records[turn])
end
