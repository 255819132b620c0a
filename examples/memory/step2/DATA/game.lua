-- Memory, step 2: click two cards to turn them; a pair stays face up, two
-- different cards turn back after a moment. Escape ends the game.
local KEY_ESCAPE = 1
local MOUSE_LEFT = 1
local COLUMNS, ROWS = 4, 4
local SIZE, GAP = 96, 16
local LEFT = (800 - (COLUMNS * SIZE + (COLUMNS - 1) * GAP)) / 2
local TOP = 96
local SHOW_TIME = 0.8   -- seconds two different cards stay up

local cards = {}        -- cards[i] = {face = 0 to 7, up = true/false, matched = true/false}
local turned = {}       -- the cards turned in this try (none, one or two)
local hideIn = 0        -- seconds until a wrong pair turns back

local function CardCorner(i)
  local column = (i - 1) % COLUMNS
  local row = math.floor((i - 1) / COLUMNS)
  return LEFT + column * (SIZE + GAP), TOP + row * (SIZE + GAP)
end

-- The card under the point, or nil (between cards or off the board).
local function CardAt(x, y)
  local column = math.floor((x - LEFT) / (SIZE + GAP))
  local row = math.floor((y - TOP) / (SIZE + GAP))
  if column < 0 or column >= COLUMNS or row < 0 or row >= ROWS then return nil end
  local cx, cy = LEFT + column * (SIZE + GAP), TOP + row * (SIZE + GAP)
  if x >= cx + SIZE or y >= cy + SIZE then return nil end
  return row * COLUMNS + column + 1
end

-- Two cards of each face, shuffled (Fisher-Yates).
local function Deal()
  cards, turned, hideIn = {}, {}, 0
  for i = 1, COLUMNS * ROWS do
    cards[i] = {face = math.floor((i - 1) / 2), up = false, matched = false}
  end
  for i = #cards, 2, -1 do
    local j = math.random(i)
    cards[i], cards[j] = cards[j], cards[i]
  end
end

local function Turn(i)
  local card = cards[i]
  if card.up or #turned == 2 then return end
  card.up = true
  turned[#turned + 1] = card
  V2D_SFX_SoundPlay("SND_FLIP", false, -1, -1, -101)
  if #turned < 2 then return end
  if turned[1].face == turned[2].face then
    turned[1].matched, turned[2].matched = true, true
    turned = {}
    V2D_SFX_SoundPlay("SND_MATCH", false, -1, -1, -101)
  else
    hideIn = SHOW_TIME
  end
end

local function Update(dt)
  if hideIn > 0 then
    hideIn = hideIn - dt
    if hideIn <= 0 then
      turned[1].up, turned[2].up = false, false
      turned = {}
    end
  end
  if V2D_INP_MouseIsKeyClicked(MOUSE_LEFT) then
    local i = CardAt(V2D_INP_MouseGetCursorPos())
    if i then Turn(i) end
  end
end

-- All backs first, then all faces: each texture change draws the quads queued
-- so far, so grouping quads by texture keeps the batches few.
local function DrawBoard()
  V2D_GFX_TechApply("TEQ_SPRITE")
  V2D_GFX_VQuadSetColor(1, 1, 1, 1)
  V2D_GFX_TexSet("TEX_BACK")
  V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
  for i, card in ipairs(cards) do
    if not card.up then
      local x, y = CardCorner(i)
      V2D_GFX_VQuadSetPos(x, y, SIZE, SIZE)
      V2D_GFX_SceneRender()
    end
  end
  V2D_GFX_TexSet("TEX_FACES")
  for i, card in ipairs(cards) do
    if card.up then
      -- Face f sits at column f % 4, row f / 4 of the four by two atlas.
      local u, v = (card.face % 4) / 4, math.floor(card.face / 4) / 2
      V2D_GFX_VQuadSetTexCoords(1, u, v, u + 0.25, v + 0.5)
      V2D_GFX_VQuadSetColor(1, 1, 1, card.matched and 0.55 or 1)
      local x, y = CardCorner(i)
      V2D_GFX_VQuadSetPos(x, y, SIZE, SIZE)
      V2D_GFX_SceneRender()
    end
  end
end

function main()
  Deal()
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 or V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then return end
    if state == 1 then
      Update(V2D_SYS_TimerGetDelta())
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.07, 0.09, 0.16)
      DrawBoard()
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
    end
  end
end
