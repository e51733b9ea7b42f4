# Host tools for build steps (make-payload, make-sample, ...).
#
# The native build builds them as ordinary targets. The windows build is a cross build and
# cannot run what it compiles, so it builds the same tools with the host compiler as an
# external project of this source tree (PATCHER_TOOLS_ONLY).
#
# patcher_host_tool(<name> <path-var> <dependency-var>) sets the tool's path and the target a
# custom command must depend on.

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(PATCHER_HOST_TOOLS_BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PATCHER_HOST_TOOLS_BINARY_DIR}
    CMAKE_ARGS
      -DPATCHER_TOOLS_ONLY=ON
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_COMPILER=gcc
      -DCMAKE_CXX_COMPILER=g++
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
  )
  function(patcher_host_tool name path_var dep_var)
    set(${path_var} ${PATCHER_HOST_TOOLS_BINARY_DIR}/bin/${name} PARENT_SCOPE)
    set(${dep_var} host_tools PARENT_SCOPE)
  endfunction()
else()
  function(patcher_host_tool name path_var dep_var)
    set(${path_var} $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(${dep_var} ${name} PARENT_SCOPE)
  endfunction()
endif()
