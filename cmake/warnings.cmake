# Warnings are errors in spirit: the tree builds without any, with GCC and
# with clang (the fuzz build).
add_compile_options(
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-qual -Wnull-dereference -Wundef)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wformat-overflow=2 -Wformat-truncation=2 -Wduplicated-cond -Wlogical-op)
endif()
option(KAMNAR_WERROR "Treat warnings as errors" OFF)
if(KAMNAR_WERROR)
  add_compile_options(-Werror)
endif()
# Release code keeps its frame and its checks of libc calls (the latter not
# in the sanitizer builds: KAMNAR_SANITIZE comes from sanitizers.cmake).
add_compile_options(-fno-omit-frame-pointer)
if(NOT DEFINED KAMNAR_SANITIZE)
  message(FATAL_ERROR "include cmake/sanitizers.cmake before cmake/warnings.cmake")
endif()
if(NOT KAMNAR_SANITIZE)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
# The programs' relocations are resolved at start and then made read-only.
add_link_options(LINKER:-z,relro,-z,now)
