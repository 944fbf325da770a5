# Static libjpeg-turbo, libpng and libtiff for the mingw-w64 builds, and
# FreeType for the thermography library's colour scale.
#
# Debian has no mingw-w64 packages of these libraries, so
# build-windows-image-libraries.sh cross-builds them from Debian's source
# packages into ${KOLTHERMO_WINDOWS_DEPS_DIR}/<triplet>. This module runs that
# script at configure time when the prefix is missing or was built by another
# version of the script, then points FindJPEG, FindPNG, FindTIFF and
# FindFreetype at the static archives of the prefix and FindZLIB at the static
# libz.a of the mingw sysroot (libz-mingw-w64-dev), so that the DLLs and the
# test programs carry these libraries inside them and import no DLL for them.
#
# Included by KolThermoImageLibraries before its find_package calls, and by
# the thermography library's folder before it finds FreeType.

include_guard(DIRECTORY)

if(NOT MINGW)
  message(FATAL_ERROR
    "The Windows image libraries are built with mingw-w64 only; "
    "use cmake/toolchains/mingw-i686.cmake or mingw-x86_64.cmake")
endif()

# The triplet follows the compiler actually in use: the pointer size decides,
# and the toolchain's processor name must agree with it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_kolthermo_deps_triplet x86_64-w64-mingw32)
  set(_kolthermo_deps_processor_pattern "^(x86_64|AMD64|amd64)$")
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_kolthermo_deps_triplet i686-w64-mingw32)
  set(_kolthermo_deps_processor_pattern "^(i[3-6]86|x86|X86)$")
else()
  message(FATAL_ERROR "Cannot tell the mingw-w64 triplet: CMAKE_SIZEOF_VOID_P is "
    "'${CMAKE_SIZEOF_VOID_P}' (was a C compiler enabled?)")
endif()
if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "${_kolthermo_deps_processor_pattern}")
  message(FATAL_ERROR "The toolchain says CMAKE_SYSTEM_PROCESSOR=${CMAKE_SYSTEM_PROCESSOR} "
    "but the compiler ${CMAKE_C_COMPILER} builds for ${_kolthermo_deps_triplet}")
endif()

# One cache shared by every build folder of the tree by default, in the
# tree's git-ignored build/ folder (also when the SDK is a subproject); CI and
# several checkouts can share one through the environment variable.
if(NOT "$ENV{KOLTHERMO_WINDOWS_DEPS_DIR}" STREQUAL "")
  set(_kolthermo_deps_default "$ENV{KOLTHERMO_WINDOWS_DEPS_DIR}")
else()
  cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH _kolthermo_deps_default)
  string(APPEND _kolthermo_deps_default "/build/windows-deps")
endif()
set(KOLTHERMO_WINDOWS_DEPS_DIR "${_kolthermo_deps_default}" CACHE PATH
  "Folder of the cross-built static image libraries (one prefix per triplet, sources beside)")
file(REAL_PATH "${KOLTHERMO_WINDOWS_DEPS_DIR}" _kolthermo_deps_dir
  BASE_DIRECTORY "${CMAKE_BINARY_DIR}" EXPAND_TILDE)

set(_kolthermo_deps_prefix "${_kolthermo_deps_dir}/${_kolthermo_deps_triplet}")
set(_kolthermo_deps_script "${CMAKE_CURRENT_LIST_DIR}/build-windows-image-libraries.sh")
set(_kolthermo_deps_stamp "${_kolthermo_deps_prefix}/kolthermo-image-libraries.stamp")

# The script writes the stamp last, with its own checksum in it: a stamp of
# this triplet and of this script means the prefix is complete and current.
# Source package versions are checked by the script itself when it runs.
file(SHA256 "${_kolthermo_deps_script}" _kolthermo_deps_recipe)
set(_kolthermo_deps_current FALSE)
if(EXISTS "${_kolthermo_deps_stamp}")
  file(STRINGS "${_kolthermo_deps_stamp}" _kolthermo_deps_stamp_lines)
  if("triplet ${_kolthermo_deps_triplet}" IN_LIST _kolthermo_deps_stamp_lines
     AND "recipe ${_kolthermo_deps_recipe}" IN_LIST _kolthermo_deps_stamp_lines)
    set(_kolthermo_deps_current TRUE)
  endif()
endif()

if(NOT _kolthermo_deps_current)
  message(STATUS "Building the static image libraries for ${_kolthermo_deps_triplet} "
    "in ${_kolthermo_deps_prefix} (once; a few minutes)")
  find_program(KOLTHERMO_BASH bash REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  mark_as_advanced(KOLTHERMO_BASH)
  execute_process(
    COMMAND "${KOLTHERMO_BASH}" "${_kolthermo_deps_script}"
      "${_kolthermo_deps_triplet}" "${_kolthermo_deps_prefix}"
    RESULT_VARIABLE _kolthermo_deps_result)
  if(NOT _kolthermo_deps_result EQUAL 0 OR NOT EXISTS "${_kolthermo_deps_stamp}")
    message(FATAL_ERROR
      "Building the Windows image libraries failed (${_kolthermo_deps_result}); see the "
      "messages above. Run it by hand with:\n"
      "  ${_kolthermo_deps_script} ${_kolthermo_deps_triplet} ${_kolthermo_deps_prefix}\n"
      "It needs the packages of scripts/install-deps.sh --windows and Debian's deb-src "
      "archive.")
  endif()
endif()

# Re-run the configure step when the script changes (to rebuild the prefix)
# or when another build folder rebuilt the prefix.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${_kolthermo_deps_script}" "${_kolthermo_deps_stamp}")

# The prefix goes before the mingw sysroot; the toolchains search libraries,
# headers and packages only below CMAKE_FIND_ROOT_PATH.
list(PREPEND CMAKE_FIND_ROOT_PATH "${_kolthermo_deps_prefix}")

# The Find modules would take an import library (.dll.a) before an archive
# wherever both exist, as they do for zlib in the sysroot; the static archives
# are therefore named outright. FORCE keeps them in step with a changed
# KOLTHERMO_WINDOWS_DEPS_DIR.
find_library(_kolthermo_deps_zlib NAMES libz.a NO_CACHE)
find_path(_kolthermo_deps_zlib_include zlib.h NO_CACHE)
if(NOT _kolthermo_deps_zlib OR NOT _kolthermo_deps_zlib_include)
  message(FATAL_ERROR "libz.a or zlib.h of mingw-w64 not found below "
    "${CMAKE_FIND_ROOT_PATH} (install libz-mingw-w64-dev)")
endif()

macro(_kolthermo_deps_pin variable path kind)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} is missing although ${_kolthermo_deps_stamp} says the "
      "image libraries are built; delete ${_kolthermo_deps_prefix} and configure again")
  endif()
  set(${variable} "${path}" CACHE ${kind} "Set by KolThermoWindowsImageLibraries" FORCE)
  mark_as_advanced(${variable})
endmacro()

_kolthermo_deps_pin(ZLIB_LIBRARY "${_kolthermo_deps_zlib}" FILEPATH)
_kolthermo_deps_pin(ZLIB_INCLUDE_DIR "${_kolthermo_deps_zlib_include}" PATH)
_kolthermo_deps_pin(JPEG_LIBRARY_RELEASE "${_kolthermo_deps_prefix}/lib/libjpeg.a" FILEPATH)
_kolthermo_deps_pin(JPEG_INCLUDE_DIR "${_kolthermo_deps_prefix}/include" PATH)
_kolthermo_deps_pin(PNG_LIBRARY_RELEASE "${_kolthermo_deps_prefix}/lib/libpng16.a" FILEPATH)
_kolthermo_deps_pin(PNG_PNG_INCLUDE_DIR "${_kolthermo_deps_prefix}/include" PATH)
_kolthermo_deps_pin(TIFF_LIBRARY_RELEASE "${_kolthermo_deps_prefix}/lib/libtiff.a" FILEPATH)
_kolthermo_deps_pin(TIFF_INCLUDE_DIR "${_kolthermo_deps_prefix}/include" PATH)
_kolthermo_deps_pin(FREETYPE_LIBRARY_RELEASE "${_kolthermo_deps_prefix}/lib/libfreetype.a" FILEPATH)
_kolthermo_deps_pin(FREETYPE_INCLUDE_DIR_ft2build "${_kolthermo_deps_prefix}/include/freetype2" PATH)
_kolthermo_deps_pin(FREETYPE_INCLUDE_DIR_freetype2 "${_kolthermo_deps_prefix}/include/freetype2" PATH)

unset(_kolthermo_deps_triplet)
unset(_kolthermo_deps_processor_pattern)
unset(_kolthermo_deps_default)
unset(_kolthermo_deps_dir)
unset(_kolthermo_deps_prefix)
unset(_kolthermo_deps_script)
unset(_kolthermo_deps_stamp)
unset(_kolthermo_deps_stamp_lines)
unset(_kolthermo_deps_recipe)
unset(_kolthermo_deps_current)
unset(_kolthermo_deps_result)
unset(_kolthermo_deps_zlib)
unset(_kolthermo_deps_zlib_include)
