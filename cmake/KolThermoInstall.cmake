# Installation of the shipped library: `cmake --install BUILD [--prefix DIR]`
# puts in place
#   - the shared library (Linux: libkolthermo.so.1.0.0 with its SONAME and
#     development links; Windows: KolThermo.dll in bin, its import library in
#     lib),
#   - the public headers under include/kolthermo/ (the host header only off
#     Windows: it refuses to compile there),
#   - a CMake package, so that find_package(KolThermo 1.0) gives the imported
#     target KolThermo::kolthermo with its include directory,
#   - a pkg-config file, kolthermo.pc,
#   - off Windows, the command-line tool kolthermo and the calibration-table
#     generator kolthermo-table, whose tables fit the simulated camera that
#     stands in for the driver there.
# The static layer libraries, the tests and the other internal targets stay
# in the build tree.
#
# Both package files locate the installation relative to themselves, so an
# installed tree keeps working when it is moved or installed with --prefix.
#
# Included right after the kolthermo target is defined.
include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KOLTHERMO_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/KolThermo"
    CACHE STRING "Where the CMake package files go, relative to the prefix")
set(KOLTHERMO_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
    CACHE STRING "Where kolthermo.pc goes, relative to the prefix")
mark_as_advanced(KOLTHERMO_INSTALL_CMAKEDIR KOLTHERMO_INSTALL_PKGCONFIGDIR)

# In-tree users (the examples, a project that adds this one as a
# subdirectory) link the same name as users of the installed package.
add_library(KolThermo::kolthermo ALIAS kolthermo)

# ---- The library ------------------------------------------------------------
#
# kolthermo is made of the layer libraries (linked whole) and links them
# PRIVATE: none of their usage requirements (the build-only define, the
# thread library, the image encoders) belongs to the shipped interface. A
# shared library needs none of its private dependencies at the host's link, so
# the exported interface holds only the include directory. The check below
# keeps it that way if someone later links the library PUBLIC to something
# internal: install(EXPORT) would then fail with a message that hides the cause.
function(_kolthermo_check_exported_interface)
  get_target_property(interface kolthermo INTERFACE_LINK_LIBRARIES)
  if(interface)
    foreach(item IN LISTS interface)
      if(item MATCHES "^\\$<BUILD_INTERFACE:")
        continue()
      endif()
      message(FATAL_ERROR
        "kolthermo has '${item}' in its link interface; the installed package would "
        "hand it to every host. Link it PRIVATE, or wrap it in $<BUILD_INTERFACE:...>.")
    endforeach()
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR}
  CALL _kolthermo_check_exported_interface)

# The target's own install interface names "include"; another include
# directory is added to it here.
set(_kolthermo_includes)
if(NOT CMAKE_INSTALL_INCLUDEDIR STREQUAL "include")
  set(_kolthermo_includes INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()
install(TARGETS kolthermo EXPORT KolThermoTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  ${_kolthermo_includes})

set(_kolthermo_public_headers ${PROJECT_SOURCE_DIR}/include/kolthermo/kolthermo.h)
if(NOT WIN32)
  list(APPEND _kolthermo_public_headers ${PROJECT_SOURCE_DIR}/include/kolthermo/kolthermo_host.h)
endif()
install(FILES ${_kolthermo_public_headers}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kolthermo COMPONENT development)

# ---- CMake package ----------------------------------------------------------
install(EXPORT KolThermoTargets
  NAMESPACE KolThermo::
  FILE KolThermoTargets.cmake
  DESTINATION ${KOLTHERMO_INSTALL_CMAKEDIR}
  COMPONENT development)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/KolThermoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/KolThermoConfig.cmake
  INSTALL_DESTINATION ${KOLTHERMO_INSTALL_CMAKEDIR})
# Same major version is compatible; the version file also refuses a package
# built for another pointer size (the 32-bit DLL for a 64-bit host).
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/package/KolThermoConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/KolThermoConfig.cmake
  ${PROJECT_BINARY_DIR}/package/KolThermoConfigVersion.cmake
  DESTINATION ${KOLTHERMO_INSTALL_CMAKEDIR}
  COMPONENT development)

# ---- pkg-config -------------------------------------------------------------
#
# The prefix is derived from ${pcfiledir}, the directory pkg-config found the
# file in, so the file follows the tree wherever it is installed. An absolute
# pkg-config directory cannot be related to the prefix that way; then the
# configured prefix is written instead.
function(_kolthermo_relative_to_prefix out_var path)
  if(IS_ABSOLUTE "${path}")
    set(${out_var} "${path}" PARENT_SCOPE)
  else()
    set(${out_var} "\${prefix}/${path}" PARENT_SCOPE)
  endif()
endfunction()

if(IS_ABSOLUTE "${KOLTHERMO_INSTALL_PKGCONFIGDIR}")
  set(_kolthermo_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  # One "/.." per component of the relative directory.
  string(REGEX REPLACE "/+$" "" _kolthermo_pc_dir "${KOLTHERMO_INSTALL_PKGCONFIGDIR}")
  string(REGEX REPLACE "[^/]+" ".." _kolthermo_pc_up "${_kolthermo_pc_dir}")
  string(REGEX REPLACE "/+" "/" _kolthermo_pc_up "${_kolthermo_pc_up}")
  set(_kolthermo_pc_prefix "\${pcfiledir}/${_kolthermo_pc_up}")
endif()
_kolthermo_relative_to_prefix(_kolthermo_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
_kolthermo_relative_to_prefix(_kolthermo_pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/kolthermo.pc.in
  ${PROJECT_BINARY_DIR}/package/kolthermo.pc.configured @ONLY)
# The library's link name (kolthermo here, KolThermo for the DLL's import
# library) is known only when the build system is generated.
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/package/kolthermo.pc
  INPUT ${PROJECT_BINARY_DIR}/package/kolthermo.pc.configured)
install(FILES ${PROJECT_BINARY_DIR}/package/kolthermo.pc
  DESTINATION ${KOLTHERMO_INSTALL_PKGCONFIGDIR} COMPONENT development)

# ---- Programs ---------------------------------------------------------------
#
# tools/ is added after this file is read, so the programs are installed once
# the whole project has been read, if they were built at all. The command-line
# tool finds the installed library relative to itself, so a moved or
# --prefix installation keeps working without LD_LIBRARY_PATH.
function(_kolthermo_install_programs)
  if(NOT WIN32 AND TARGET kolthermo-table)
    install(TARGETS kolthermo-table RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
  if(NOT WIN32 AND TARGET kolthermo-cli)
    file(RELATIVE_PATH _lib_from_bin "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
    set_target_properties(kolthermo-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_lib_from_bin}")
    install(TARGETS kolthermo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _kolthermo_install_programs)
