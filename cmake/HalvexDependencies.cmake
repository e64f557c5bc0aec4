# Third-party libraries, all from Debian packages. The MinGW build reuses the
# header-only ones from the host and builds GoogleTest from Debian's sources.
find_package(Threads REQUIRED)

find_path(HALVEX_EIGEN_DIR Eigen/Core
    PATHS /usr/include/eigen3 NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(halvex_eigen INTERFACE)
target_include_directories(halvex_eigen SYSTEM INTERFACE ${HALVEX_EIGEN_DIR})

find_path(HALVEX_NLOHMANN_JSON_DIR nlohmann/json.hpp
    PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(HALVEX_NLOHMANN_JSON_DIR)
  add_library(halvex_json INTERFACE)
  target_include_directories(halvex_json SYSTEM INTERFACE ${HALVEX_NLOHMANN_JSON_DIR}/nlohmann/..)
  # Only the json header: the host's other headers must not leak into a cross build.
  if(CMAKE_CROSSCOMPILING)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/third_party/nlohmann)
    file(COPY ${HALVEX_NLOHMANN_JSON_DIR}/nlohmann/ DESTINATION ${CMAKE_BINARY_DIR}/third_party/nlohmann)
    set_property(TARGET halvex_json PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/third_party)
  endif()
endif()

if(HALVEX_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own CMake defines the GTest:: aliases.
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(HALVEX_BUILD_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark QUIET)
endif()
