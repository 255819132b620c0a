-- Every technique of the game's, the GUI gallery's and the runner demo's
-- data, drawn as the desktop's reference picture of them is: per technique
-- one column of the texture 1:1 half a pixel off the grid, shrunk with
-- coordinates from -0.5 to 1.5, and enlarged.
local TECHNIQUES = {"TEQ_STD2", "TEQ_GUI", "TEQ_GUI_WRAP", "TEQ_FONT",
                    "TEQ_GAL_BLEND", "TEQ_GAL_TEXT", "TEQ_DEMO_BLEND", "TEQ_DEMO_TEXT"}
local CELL = 28

local function quad(x, y, size, u0, v0, u1, v1)
  V2D_GFX_VQuadSetPos(x, y, size, size, 0.5)
  V2D_GFX_VQuadSetTexCoords(1, u0, v0, u1, v1)
  V2D_GFX_SceneRender()
end

local function column(index, technique)
  V2D_GFX_TexSet("TEX_GL_REF")
  V2D_GFX_TechApply(technique)
  V2D_GFX_VQuadSetColorByVertex(0, 1.0, 1.0, 1.0, 1.0)
  V2D_GFX_VQuadSetColorByVertex(1, 1.0, 0.5, 0.25, 0.75)
  V2D_GFX_VQuadSetColorByVertex(2, 0.25, 1.0, 0.5, 0.5)
  V2D_GFX_VQuadSetColorByVertex(3, 0.5, 0.25, 1.0, 1.0)
  local x = index * CELL + 2.5
  quad(x, 2.5, 16, 0, 0, 1, 1)
  quad(x - 0.5, CELL + 2, 24, -0.5, -0.5, 1.5, 1.5)
  quad(x - 0.5, 2 * CELL + 1, 26, 0.25, 0.25, 0.75, 0.75)
end

function main()
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then return end
    if state == 1 then
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.2, 0.3, 0.4)
      for index = 0, #TECHNIQUES - 1 do column(index, TECHNIQUES[index + 1]) end
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
    end
  end
end
