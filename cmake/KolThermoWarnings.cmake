# Warnings are errors on our own code (never on third-party code such as GoogleTest).
add_library(kolthermo_warnings INTERFACE)
target_compile_options(kolthermo_warnings INTERFACE
  -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor -Wcast-align -Wnull-dereference
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Woverloaded-virtual>)
