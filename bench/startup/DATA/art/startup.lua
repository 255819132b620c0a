-- Clears the screen for 21 frames and ends: the run's wall time is the
-- start-up to the 21st presented frame.
function main()
  local frames = 0
  while frames < 21 do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then return end
    if state == 1 then
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0, 0, 0)
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
      frames = frames + 1
    end
  end
end
