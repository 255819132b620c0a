-- Counts the left-button clicks the engine sees while it draws the runner
-- demo's tile field; Escape (or closing the window) logs the figures and
-- ends it. Used by run_loop_figures.sh.
local KEY_ESCAPE = 1

local function draw(t)
  V2D_GFX_SceneBegin()
  V2D_GFX_SceneClearScreen(0.05, 0.05, 0.12)
  V2D_GFX_TechApply("TEQ_DEMO_BLEND")
  V2D_GFX_TexSet("TEX_DEMO_TILE")
  for row = 0, 11 do
    for col = 0, 15 do
      local pulse = 0.5 + 0.5 * math.sin(t * 2 + col * 0.3 + row * 0.2)
      V2D_GFX_VQuadSetPos(40 + col * 45 + math.sin(t + row * 0.4) * 10, 30 + row * 45, 32, 32)
      V2D_GFX_VQuadSetColor(0.3 + 0.7 * pulse, 0.6, 1.0 - 0.6 * pulse, 0.85)
      V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
      V2D_GFX_SceneRender()
    end
  end
  V2D_GFX_SceneEnd()
  V2D_GFX_ScenePresent()
end

function main()
  local clicks, frames, t = 0, 0, 0
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then break end
    if state == 1 then
      if V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then break end
      if V2D_INP_MouseIsKeyClicked(1) then clicks = clicks + 1 end
      frames = frames + 1
      t = t + V2D_SYS_TimerGetDelta()
      draw(t)
    end
  end
  local rate = math.floor(frames / t * 10 + 0.5) / 10
  V2D_LOG_AddEntry("click count: " .. clicks .. " clicks, " .. frames .. " frames, " .. rate .. " frames/s")
end
