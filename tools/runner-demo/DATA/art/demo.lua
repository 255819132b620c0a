-- A field of tiles drifting and pulsing under a panel built from GUI data;
-- Escape or closing the window ends it, F12 writes a screenshot.
local KEY_ESCAPE = 1
local KEY_F12 = 88

function main()
  local t = 0
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 or V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then return end
    if state == 1 then
      t = t + V2D_SYS_TimerGetDelta()
      V2DGUI_Update()
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.05, 0.05, 0.12)
      V2D_GFX_TechApply("TEQ_DEMO_BLEND")
      V2D_GFX_TexSet("TEX_DEMO_TILE")
      for row = 0, 11 do
        for col = 0, 15 do
          local x = 40 + col * 45 + math.sin(t + row * 0.4) * 10
          local y = 30 + row * 45
          local pulse = 0.5 + 0.5 * math.sin(t * 2 + col * 0.3 + row * 0.2)
          V2D_GFX_VQuadSetPos(x, y, 32, 32)
          V2D_GFX_VQuadSetColor(0.3 + 0.7 * pulse, 0.6, 1.0 - 0.6 * pulse, 0.85)
          V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
          V2D_GFX_SceneRender()
        end
      end
      V2DGUI_Draw()
      V2D_GFX_FontSet("FNT_DEMO")
      V2D_GFX_FontDrawText("Velmor2D runner - " .. V2D_SYS_TimerGetFPS() .. " FPS", 64, 560, 0, 1, 1)
      V2D_GFX_FontDrawText("Escape: quit   F12: screenshot", 420, 560, 0, 0, 0.8)
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
      if V2D_INP_KeyboardIsKeyClicked(KEY_F12) then V2D_GFX_SceneMakeScreenshot() end
    end
  end
end
