# Warnings on our own code (never on third-party code such as GoogleTest).
# They are errors only when KOLTHERMO_WERROR is on: our presets and CI turn it
# on, while a user or packager who builds with their own flags or a newer
# compiler gets the warnings without a failed build.
option(KOLTHERMO_WERROR "Treat warnings on the SDK's own code as errors" OFF)

add_library(kolthermo_warnings INTERFACE)
target_compile_options(kolthermo_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wnull-dereference
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Woverloaded-virtual>
  $<$<BOOL:${KOLTHERMO_WERROR}>:-Werror>)
