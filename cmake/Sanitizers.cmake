# PATCHER_SANITIZE: a comma-separated -fsanitize list for the native build, e.g.
# "address,undefined" or "thread". Sanitizer findings abort the test that found them.
set(PATCHER_SANITIZE "" CACHE STRING "Sanitizers for the native build (e.g. address,undefined)")
if(PATCHER_SANITIZE)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "PATCHER_SANITIZE is for the native build only")
  endif()
  add_compile_options(-fsanitize=${PATCHER_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${PATCHER_SANITIZE})
endif()
