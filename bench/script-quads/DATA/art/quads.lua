-- 10 000 textured, coloured 16x16 quads per frame, each with one
-- VQuadSetPos, one VQuadSetColor and one SceneRender. Runs a warm-up second,
-- then measures for five seconds of frame time and logs the figures.
local QUADS = 10000
local SIZE = 16  -- the edge in pixels; run_script_quads.sh sets it from QUAD_SIZE
local WARMUP, MEASURE = 1.0, 5.0

function main()
  V2D_GFX_TexSet("TEX_BENCH_TILE")
  local elapsed, frames, measuring = 0, 0, false
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then return end
    if state == 1 then
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0, 0, 0)
      V2D_GFX_TexSet("TEX_BENCH_TILE")
      V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
      for i = 0, QUADS - 1 do
        V2D_GFX_VQuadSetPos((i * 16) % 800, math.floor(i / 50) % 37 * 16, SIZE, SIZE)
        V2D_GFX_VQuadSetColor((i % 256) / 255, 0.5, 1 - (i % 256) / 255)
        V2D_GFX_SceneRender()
      end
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
      elapsed = elapsed + V2D_SYS_TimerGetDelta()
      if measuring then frames = frames + 1 end
      if not measuring and elapsed >= WARMUP then measuring, elapsed = true, 0 end
      if measuring and elapsed >= MEASURE then
        local fps = frames / elapsed
        V2D_LOG_AddEntry("script quads: " .. QUADS .. " of " .. SIZE .. " px per frame, " .. frames .. " frames in " .. elapsed ..
                         " s, " .. fps .. " frames/s, " .. fps * QUADS .. " quads/s")
        return
      end
    end
  end
end
