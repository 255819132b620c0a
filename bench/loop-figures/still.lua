-- A still screen: the runner demo's tile field, unmoving, drawn every frame
-- as a game's still screen is; Escape (or closing the window) logs the frame
-- rate and ends it. Used by run_loop_figures.sh.
local KEY_ESCAPE = 1

function main()
  local frames, t = 0, 0
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then break end
    if state == 1 then
      if V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then break end
      frames = frames + 1
      t = t + V2D_SYS_TimerGetDelta()
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.05, 0.05, 0.12)
      V2D_GFX_TechApply("TEQ_DEMO_BLEND")
      V2D_GFX_TexSet("TEX_DEMO_TILE")
      for row = 0, 11 do
        for col = 0, 15 do
          V2D_GFX_VQuadSetPos(40 + col * 45, 30 + row * 45, 32, 32)
          V2D_GFX_VQuadSetColor(0.8, 0.6, 0.7, 0.85)
          V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
          V2D_GFX_SceneRender()
        end
      end
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
    end
  end
  local rate = math.floor(frames / t * 10 + 0.5) / 10
  V2D_LOG_AddEntry("still screen: " .. frames .. " frames, " .. rate .. " frames/s")
end
