# Shared compile options: every project target links halvex_options.
add_library(halvex_options INTERFACE)
target_compile_options(halvex_options INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra>
    $<$<CXX_COMPILER_ID:MSVC>:/W4 /permissive->)
if(WIN32)
  target_compile_definitions(halvex_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _USE_MATH_DEFINES)
endif()
if(MINGW)
  # The driver folder must not depend on MinGW's runtime DLLs.
  target_link_options(halvex_options INTERFACE -static)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()
