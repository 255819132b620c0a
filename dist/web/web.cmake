# The browser build: the game and the runner as WebAssembly programs, which
# scripts/build-web.sh puts into pages (dist/web/index.html) with a data pack.

set(VELMOR_PAGE_SCRIPT ${CMAKE_SOURCE_DIR}/platform/page_web.js)
set(VELMOR_PAGE_LIBRARY ${CMAKE_SOURCE_DIR}/platform/page_web_library.js)
set(VELMOR_WEB_LINK_OPTIONS
  # Loops that wait for the next frame (the engine's, and scripts' loops
  # around V2D_SYS_UpdateAllSystems) give the browser control and resume.
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=1048576
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=67108864
  # main returning ends the program: files are closed, the page is told.
  -sEXIT_RUNTIME=1
  -sENVIRONMENT=web
  -lidbfs.js
  -sEXPORTED_RUNTIME_METHODS=ccall
  --js-library ${VELMOR_PAGE_LIBRARY} -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=velmor_sdl_helpers
  --pre-js ${VELMOR_PAGE_SCRIPT})
foreach(target quble velmor-run)
  target_link_options(${target} PRIVATE ${VELMOR_WEB_LINK_OPTIONS})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VELMOR_PAGE_SCRIPT} ${VELMOR_PAGE_LIBRARY})
endforeach()
