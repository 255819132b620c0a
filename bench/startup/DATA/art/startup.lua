-- Clears the screen for two frames, black then grey, and ends: the run's
-- wall time is the start-up to the 2nd shown frame and the exit. The two
-- frames differ, so the device shows both (it skips a frame that repeats
-- the last one).
function main()
  local frames = 0
  while frames < 2 do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then return end
    if state == 1 then
      local grey = frames * 0.5
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(grey, grey, grey)
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
      frames = frames + 1
    end
  end
end
