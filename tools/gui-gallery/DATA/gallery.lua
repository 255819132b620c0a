-- The GUI gallery: one element of every standard class, wired together by
-- the script functions below (their names are the actions in gui/gallery.xml).
-- Escape closes the window or quits, F12 writes a screenshot.
local KEY_ESCAPE = 1
local KEY_F12 = 88

local LIST = "LBX_GAL_ITEMS"
local ITEMS = {
  "Apricot", "Blueberry", "Cherry", "Damson", "Elderberry", "Fig", "Gooseberry", "Huckleberry",
  "Jackfruit", "Kiwi", "Lemon", "Mango", "Nectarine", "Olive", "Papaya", "Quince", "Raspberry",
  "Strawberry", "Tangerine", "Ugli fruit", "Vanilla", "Watermelon", "Yuzu", "Ziziphus", "Almond",
  "Banana", "Coconut", "Date", "Grape", "Lime",
}
local WAVE_COLOURS = { {0.45, 0.7, 1.0}, {0.45, 1.0, 0.55}, {1.0, 0.72, 0.25} }
local RADIOS = { "RAD_GAL_BLUE", "RAD_GAL_GREEN", "RAD_GAL_AMBER" }

local popup_shown = false
local presses = 0
local adv_clicks = 0
local wave = { x = 0, y = 0, w = 0, h = 0, a = 1, phase = 0, colour = WAVE_COLOURS[1] }
local list = { selected = -1, checked = -1, a = 1, enabled = true }
local drift = 0

local function status(text)
  V2DGUI_SetElementParam("L_GAL_STATUS", "text", text)
end

-- Buttons, the advanced tile, the window -----------------------------------

function gal_show_window()
  if popup_shown then return end
  popup_shown = true
  V2DGUI_ExecuteElementCommand("WND_GAL_POPUP", 1)
  V2DGUI_ExecuteElementCommand("WND_GAL_MAIN", 4)   -- no input behind the window
  status("The window fades in")
end

function gal_hide_window()
  popup_shown = false
  V2DGUI_ExecuteElementCommand("WND_GAL_POPUP", 2)
  V2DGUI_ExecuteElementCommand("WND_GAL_MAIN", 3)
  status("... and fades out again")
end

function gal_count()
  presses = presses + 1
  V2DGUI_SetElementParam("L_GAL_HOLD", "text", "Hold me: " .. presses)
end

function gal_adv_in()
  V2DGUI_SetElementParam("ADV_GAL_HOVER", "color", 0.75, 1.0, 0.8, 1)
  status("advtile: got the focus")
end

function gal_adv_out()
  V2DGUI_SetElementParam("ADV_GAL_HOVER", "color", 1, 1, 1, 1)
  status("advtile: lost the focus")
end

function gal_adv_click()
  adv_clicks = adv_clicks + 1
  status("advtile: clicked " .. adv_clicks .. (adv_clicks == 1 and " time" or " times"))
end

-- Check boxes and radio buttons --------------------------------------------

function gal_animate_on()
  V2DGUI_ExecuteElementCommand("ANM_GAL_STAR", 3)
end

function gal_animate_off()
  V2DGUI_ExecuteElementCommand("ANM_GAL_STAR", 4)
end

-- A radio button hands over its tag; the others are unchecked here.
function gal_pick_colour(tag)
  wave.colour = WAVE_COLOURS[tag] or WAVE_COLOURS[1]
  for i, radio in ipairs(RADIOS) do
    if i ~= tag then V2DGUI_ExecuteElementCommand(radio, 8) end
  end
end

-- The text box ---------------------------------------------------------------

function gal_typed()
  local name = V2DGUI_GetElementParam("TBX_GAL_NAME", "text")
  if name == "" then
    V2DGUI_SetElementParam("L_GAL_HELLO", "text", "Type your name")
  else
    V2DGUI_SetElementParam("L_GAL_HELLO", "text", "Hello, " .. name .. "!")
  end
end

function gal_focus_in()
  V2DGUI_SetElementParam("TILE_GAL_FIELD", "color", 1, 0.9, 0.6, 1)
end

function gal_focus_out()
  V2DGUI_SetElementParam("TILE_GAL_FIELD", "color", 1, 1, 1, 1)
end

-- The list box and its scroll bar ------------------------------------------

function gal_list_frame(selected, checked, r, g, b, a, enabled)
  list.selected, list.checked, list.a, list.enabled = selected, checked, a, enabled
end

function gal_list_cell(i, x, y)
  local r, g, b, alpha = 0.16, 0.2, 0.34, 0.7
  if i == list.checked then
    r, g, b, alpha = 0.85, 0.6, 0.2, 0.9
  elseif i == list.selected then
    r, g, b, alpha = 0.3, 0.42, 0.7, 0.9
  end
  V2D_GFX_TechApply("TEQ_GAL_BLEND")
  V2D_GFX_TexSet("TEX_GAL_WHITE")
  V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
  V2D_GFX_VQuadSetColor(r, g, b, alpha * list.a)
  V2D_GFX_VQuadSetPos(x, y + 1, 314, 24)
  V2D_GFX_SceneRender()
  V2D_GFX_FontSet("FNT_GAL")
  V2D_GFX_FontDrawText((i + 1) .. ".  " .. ITEMS[i + 1], x + 10, y - 3, 0, i == list.checked and 3 or 0, list.a)
end

function gal_list_checked()
  local checked = V2DGUI_GetElementParam(LIST, "checkedcell")
  if checked >= 0 then status("listbox: picked " .. ITEMS[checked + 1] .. " (arrow keys move)") end
end

function gal_list_scrolled()
  V2DGUI_SetElementParam(LIST, "scrolly", V2DGUI_GetElementParam("VSC_GAL_LIST", "curvalue"))
end

-- The arrow keys scrolled the list: the bar follows.
function gal_list_shifted(scrolly)
  V2DGUI_SetElementParam("VSC_GAL_LIST", "curvalue", scrolly)
end

-- The scroll box -------------------------------------------------------------

function gal_cards_scrolled()
  V2DGUI_SetElementParam("SBX_GAL_CARDS", "scrollx", V2DGUI_GetElementParam("HSC_GAL_CARDS", "curvalue"))
end

-- The flex element and the timer ------------------------------------------

function gal_wave_update(x, y, w, h, r, g, b, a, visible, enabled)
  wave.x, wave.y, wave.w, wave.h, wave.a = x, y, w, h, a
end

function gal_wave_draw()
  local bars = 38
  local step = wave.w / bars
  V2D_GFX_TechApply("TEQ_GAL_BLEND")
  V2D_GFX_TexSet("TEX_GAL_WHITE")
  V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
  for i = 0, bars - 1 do
    local t = wave.phase * 2 * math.pi + i * 0.33
    local height = (0.55 + 0.45 * math.sin(t)) * (wave.h - 8)
    local c = wave.colour
    local shade = 0.65 + 0.35 * math.sin(t + 1.2)
    V2D_GFX_VQuadSetColor(c[1] * shade, c[2] * shade, c[3] * shade, 0.9 * wave.a)
    V2D_GFX_VQuadSetPos(wave.x + i * step + 1, wave.y + wave.h - height, step - 2, height)
    V2D_GFX_SceneRender()
  end
end

function gal_wave_phase(factor)
  wave.phase = factor
end

-- A sparkle somewhere over the wave, played once.
function gal_sparkle()
  local x = 14 + math.random(0, 300)
  local y = 34 + math.random(0, 52)
  for _, name in ipairs({ "location_begin", "location_middle", "location_end" }) do
    V2DGUI_SetElementParam("ANM_GAL_SPARKLE", name, x, y)
  end
  V2DGUI_ExecuteElementCommand("ANM_GAL_SPARKLE", 5)
end

function gal_every_frame()
  V2DGUI_SetElementParam("L_GAL_FPS", "text", V2D_SYS_TimerGetFPS() .. " fps")
end

-- The frame loop ---------------------------------------------------------------

-- Faint dots drifting behind the GUI.
local function draw_backdrop()
  V2D_GFX_TechApply("TEQ_GAL_BLEND")
  V2D_GFX_TexSet("TEX_GAL_WHITE")
  V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)
  for row = 0, 14 do
    for col = 0, 19 do
      local x = (col * 42 + drift * (1 + row % 3) * 6) % 840 - 20
      local y = row * 42 + 8 + math.sin(drift + col * 0.5) * 4
      V2D_GFX_VQuadSetColor(0.3, 0.4, 0.8, 0.18)
      V2D_GFX_VQuadSetPos(x, y, 3, 3)
      V2D_GFX_SceneRender()
    end
  end
end

function main()
  V2DGUI_ExecuteElementCommand("WND_GAL_MAIN", 1)
  while true do
    local state = V2D_SYS_UpdateAllSystems()
    if state == -1 then return end
    if state == 1 then
      if V2D_INP_KeyboardIsKeyClicked(KEY_ESCAPE) then
        if not popup_shown then return end
        gal_hide_window()
      end
      drift = drift + V2D_SYS_TimerGetDelta()
      V2DGUI_Update()
      V2D_GFX_SceneBegin()
      V2D_GFX_SceneClearScreen(0.04, 0.05, 0.1)
      draw_backdrop()
      V2DGUI_Draw()
      V2D_GFX_SceneEnd()
      V2D_GFX_ScenePresent()
      if V2D_INP_KeyboardIsKeyClicked(KEY_F12) then V2D_GFX_SceneMakeScreenshot() end
    end
  end
end
