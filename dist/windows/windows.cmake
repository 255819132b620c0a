# The Windows programs: icon and version resources, and the folder that the
# zip and the installer are made from (scripts/build-windows.sh):
#
#   quble.exe velmor-run.exe velmorpak.exe velmor-check.exe  (+ the DLLs)
#   gamedata/quble.pak   the game's data
#   README.txt

function(velmor_windows_resources target description icon)
  set(VELMOR_RC_NAME ${target})
  set(VELMOR_RC_DESCRIPTION "${description}")
  set(VELMOR_RC_ICON "${icon}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

set(QUBLE_ICON ${CMAKE_CURRENT_SOURCE_DIR}/icons/quble.ico)
velmor_windows_resources(quble "Quble, a speed puzzle" ${QUBLE_ICON})
velmor_windows_resources(velmor-run "Velmor2D game runner" ${QUBLE_ICON})
velmor_windows_resources(velmorpak "Velmor2D resource packer" ${QUBLE_ICON})
velmor_windows_resources(velmor-check "Velmor2D data checker" ${QUBLE_ICON})
# The game and the runner open no console window of their own; the runner
# writes to the one it was started from.
set_target_properties(quble velmor-run PROPERTIES WIN32_EXECUTABLE ON)

# The data pack is made by a velmorpak that runs on the build machine.
set(VELMOR_HOST_VELMORPAK "" CACHE FILEPATH "A velmorpak built for the build machine, to pack the game's data")
if(QUBLE_DESCRIPTORS AND VELMOR_HOST_VELMORPAK)
  set(QUBLE_PACK ${CMAKE_BINARY_DIR}/gamedata/quble.pak)
  add_custom_command(OUTPUT ${QUBLE_PACK}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gamedata
    COMMAND ${VELMOR_HOST_VELMORPAK} ${QUBLE_PACK} ${QUBLE_DESCRIPTORS}
    DEPENDS ${VELMOR_HOST_VELMORPAK} ${QUBLE_DATA_FILES}
    COMMENT "Packing the game's data into gamedata/quble.pak"
    VERBATIM)
  add_custom_target(quble_pack ALL DEPENDS ${QUBLE_PACK})
  install(FILES ${QUBLE_PACK} DESTINATION gamedata)
else()
  message(STATUS "No VELMOR_HOST_VELMORPAK: the install will have no data pack")
endif()

install(TARGETS quble velmor-run velmorpak velmor-check RUNTIME DESTINATION .)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/windows/README.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
