# The image encoders the still writers drive: libjpeg(-turbo), libpng (with
# zlib) and libtiff. On Linux they are the system's packages; for Windows they
# are cross-built static libraries found through the prefix that
# KolThermoWindowsImageLibraries sets up. Either way the library links them
# through one interface target, kolthermo_image_libraries.
if(WIN32)
  include(KolThermoWindowsImageLibraries)
endif()

find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)

add_library(kolthermo_image_libraries INTERFACE)
target_link_libraries(kolthermo_image_libraries INTERFACE JPEG::JPEG PNG::PNG TIFF::TIFF)
