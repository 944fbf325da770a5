# KolThermo.dll: exactly the 29 exports of the .def file, undecorated, with
# fixed ordinals; the C++ and threading runtimes are linked in so the DLL needs
# nothing beside it.
set_target_properties(kolthermo PROPERTIES OUTPUT_NAME KolThermo PREFIX "")
target_sources(kolthermo PRIVATE ${PROJECT_SOURCE_DIR}/src/api/kolthermo.def)
target_link_options(kolthermo PRIVATE -static -Wl,--kill-at)
