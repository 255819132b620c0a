-- LÖVE's side of the start-up run: clears for two frames, black then grey,
-- and quits; love.run presents the 2nd frame and then takes the quit.
local frames = 0
function love.draw()
  frames = frames + 1
  local grey = (frames - 1) * 0.5
  love.graphics.clear(grey, grey, grey)
  if frames == 2 then love.event.quit() end
end
