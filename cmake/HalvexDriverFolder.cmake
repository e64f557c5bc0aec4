# The driver folder as the runtime loads it: build/<preset>/halvex/, the same
# tree that `cmake --install` writes under <prefix>/halvex/.
if(WIN32)
  set(HALVEX_PLATFORM_DIR win64)
elseif(APPLE)
  set(HALVEX_PLATFORM_DIR osx32)
else()
  set(HALVEX_PLATFORM_DIR linux64)
endif()
set(HALVEX_DRIVER_FOLDER ${CMAKE_BINARY_DIR}/halvex)
set(HALVEX_DRIVER_BIN_DIR ${HALVEX_DRIVER_FOLDER}/bin/${HALVEX_PLATFORM_DIR})

# halvex_place_in_driver_folder(target): the binary also goes to halvex/bin/<platform>/.
function(halvex_place_in_driver_folder target)
  add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${HALVEX_DRIVER_BIN_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${HALVEX_DRIVER_BIN_DIR}/
      VERBATIM)
  install(TARGETS ${target}
      RUNTIME DESTINATION halvex/bin/${HALVEX_PLATFORM_DIR} COMPONENT driver
      LIBRARY DESTINATION halvex/bin/${HALVEX_PLATFORM_DIR} COMPONENT driver)
endfunction()
