# The transfer component as a shared library for other programs: Zandrel::WebCopy through
# find_package(Zandrel), or zandrel-webcopy through pkg-config. The programs and tests keep
# linking the static libraries; this one bundles them (the component, the run-time helpers and
# the network layer) and links the system's libraries it needs. Its headers need none of them:
# they are the component's header and what that one includes (its published interface only: no
# type of the Internet layer, no run state), installed with their paths under
# include/zandrel. Programs add include/ and write #include <zandrel/webcopy/ZandrelWebCopy.h>,
# as with POCO and Qt. include/zandrel stays on the path too, for programs written against 0.1
# (#include <webcopy/ZandrelWebCopy.h>) and because the headers reach each other that way; 0.2
# drops the old form for programs.
include(CMakePackageConfigHelpers)

add_library(zandrel_webcopy_shared SHARED ${CMAKE_SOURCE_DIR}/webcopy/SharedLibrary.cpp)
target_link_libraries(zandrel_webcopy_shared PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,zandrel_webcopy>")
target_include_directories(zandrel_webcopy_shared INTERFACE
  "$<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zandrel>")
target_compile_features(zandrel_webcopy_shared INTERFACE cxx_std_20)
# The user interface port it shows its dialogs through is shared with the modules; it lives in
# the private module folder below the library folder.
set_target_properties(zandrel_webcopy_shared PROPERTIES
  OUTPUT_NAME zandrel-webcopy EXPORT_NAME WebCopy
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  INSTALL_RPATH "$ORIGIN/zandrel")
target_link_options(zandrel_webcopy_shared PRIVATE
  "LINKER:--version-script=${CMAKE_SOURCE_DIR}/cmake/webcopy-exports.map")
# Every symbol the library needs must come from the libraries it names. Not so in the sanitizer
# builds: clang links the sanitizer run-time into programs only, so a shared library leaves its
# hooks to the program that loads it.
if(NOT ZANDREL_SANITIZE AND NOT ZANDREL_FUZZ)
  target_link_options(zandrel_webcopy_shared PRIVATE "LINKER:--no-undefined")
endif()
set_property(TARGET zandrel_webcopy_shared APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/webcopy-exports.map)
add_library(Zandrel::WebCopy ALIAS zandrel_webcopy_shared)

set(ZANDREL_PUBLIC_HEADERS
  webcopy/ZandrelWebCopy.h webcopy/WebCopyItems.h webcopy/WebCopyItem.h webcopy/WebCopyTypes.h
  webcopy/Collection.h webcopy/FileDetailItems.h webcopy/Persistent.h
  platform/rtl/DateTime.h platform/rtl/Error.h platform/rtl/StringList.h)
foreach(header IN LISTS ZANDREL_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zandrel/${folder})
endforeach()

install(TARGETS zandrel_webcopy_shared EXPORT ZandrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(ZANDREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zandrel)
install(EXPORT ZandrelTargets NAMESPACE Zandrel:: DESTINATION ${ZANDREL_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ZandrelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZandrelConfig.cmake INSTALL_DESTINATION ${ZANDREL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZandrelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZandrelConfig.cmake ${CMAKE_BINARY_DIR}/ZandrelConfigVersion.cmake
  DESTINATION ${ZANDREL_CMAKE_DIR})

# Relative to the .pc file's own folder, so that an install under any prefix is found.
file(RELATIVE_PATH ZANDREL_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" ZANDREL_PC_TO_PREFIX "${ZANDREL_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/zandrel-webcopy.pc.in ${CMAKE_BINARY_DIR}/zandrel-webcopy.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zandrel-webcopy.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
