-- Memory, step 1: a board of sixteen face-down cards. Escape ends the game.
local KEY_ESCAPE = 1
local COLUMNS, ROWS = 4, 4
local SIZE, GAP = 96, 16
local LEFT = (800 - (COLUMNS * SIZE + (COLUMNS - 1) * GAP)) / 2
local TOP = 96

-- The top left corner of card i (1 to 16), row by row.
local function CardCorner(i)
  local column = (i - 1) % COLUMNS
  local row = math.floor((i - 1) / COLUMNS)
  return LEFT + column * (SIZE + GAP), TOP + row * (SIZE + GAP)
end

local function DrawBoard()
  V2D_GFX_TechApply("TEQ_SPRITE")
  V2D_GFX_TexSet("TEX_BACK")
  V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
  V2D_GFX_VQuadSetColor(1, 1, 1, 1)
  for i = 1, COLUMNS * ROWS do
    local x, y = CardCorner(i)
    V2D_GFX_VQuadSetPos(x, y, SIZE, SIZE)
    V2D_GFX_SceneRender()
  end
end

function main()
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 or V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then return end
    if state == 1 then
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.07, 0.09, 0.16)
      DrawBoard()
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
    end
  end
end
