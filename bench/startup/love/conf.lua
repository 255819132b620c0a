-- The modules of the quads peer (bench/compare_love.sh): an 800x600 window,
-- vsync off, no audio, joystick or physics.
function love.conf(t)
  t.window.width = 800; t.window.height = 600; t.window.vsync = 0
  t.window.title = "love-startup"
  t.modules.audio = false; t.modules.sound = false; t.modules.joystick = false; t.modules.physics = false
end
