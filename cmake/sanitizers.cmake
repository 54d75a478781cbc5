# KAMNAR_SANITIZE=address,undefined or thread builds the whole tree instrumented.
set(KAMNAR_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined or thread)")
if(KAMNAR_SANITIZE)
  add_compile_options(-fsanitize=${KAMNAR_SANITIZE} -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=${KAMNAR_SANITIZE})
endif()
