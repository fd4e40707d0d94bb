# Install rules, library versions, pkg-config and CMake package files, and
# the Debian packages that CPack builds from them (scripts/package).
#
# Two components: "programs" (the three commands, the shared libraries they
# run on, the desktop entry, icons and man pages) and "development" (public
# headers, the unversioned .so links, pkg-config and CMake package files).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QX_INSTALL_INCLUDE_SUBDIR zelvo)  # headers keep their folder: <zelvo/qxxml/qxxml.h>
set(QX_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/${QX_INSTALL_INCLUDE_SUBDIR})
set(QX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME})
set(QX_PROGRAMS zelvo-calibrator zelvo-cli zelvo-devsim)

# The libraries: name, source folder of its public headers, pkg-config
# Requires (other libraries of this project) and a one-line description.
set(QX_LIBRARIES qxcommon qxxml qxudps zelvoapi)
set(QX_qxcommon_HEADERS common)
set(QX_qxcommon_REQUIRES "")
set(QX_qxcommon_DESCRIPTION "Runtime support shared by the Zelvo device libraries")
set(QX_qxxml_HEADERS qxxml)
set(QX_qxxml_REQUIRES "qxcommon")
set(QX_qxxml_DESCRIPTION "HTTP/XML input and output with Zelvo sensor devices")
set(QX_qxudps_HEADERS qxudps)
set(QX_qxudps_REQUIRES "qxcommon")
set(QX_qxudps_DESCRIPTION "UDP search and network setup of Zelvo sensor devices")
set(QX_zelvoapi_HEADERS sdk)
set(QX_zelvoapi_REQUIRES "qxxml qxudps")
set(QX_zelvoapi_DESCRIPTION "C++ object layer over the Zelvo device libraries")

foreach(lib IN LISTS QX_LIBRARIES)
  # The SONAME changes with the major version only: a minor release keeps
  # programs linked against an older one running.
  set_target_properties(${lib} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # Inside the build the source root stays the include folder; installed,
  # the include folder of the package takes its place.
  set_property(TARGET ${lib} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>")
  # The public headers use neither libxml2 nor Qt: a program that links the
  # installed libraries needs neither development package. The build itself
  # keeps the full link interface.
  get_target_property(links ${lib} INTERFACE_LINK_LIBRARIES)
  set(exported_links "")
  foreach(link IN LISTS links)
    if(link MATCHES "^(PkgConfig::LIBXML2|Qt6::)")
      list(APPEND exported_links "$<BUILD_INTERFACE:${link}>")
    else()
      list(APPEND exported_links "${link}")
    endif()
  endforeach()
  set_property(TARGET ${lib} PROPERTY INTERFACE_LINK_LIBRARIES "${exported_links}")

  # Every header of the folder but the library's private ones (*_private.h);
  # sub-folders such as qxxml/qxdom are internal parts.
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${QX_${lib}_HEADERS}/*.h)
  list(FILTER headers EXCLUDE REGEX "_private\\.h$")
  install(FILES ${headers}
          DESTINATION ${QX_INSTALL_INCLUDEDIR}/${QX_${lib}_HEADERS}
          COMPONENT development)

  # The prefix is only known when installing (cmake --install --prefix,
  # CPack's /usr), so the file is finished then.
  set(PC_NAME ${lib})
  set(PC_DESCRIPTION "${QX_${lib}_DESCRIPTION}")
  set(PC_REQUIRES "${QX_${lib}_REQUIRES}")
  set(PC_PREFIX "@PC_PREFIX@")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qx.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${lib}.pc.in @ONLY)
endforeach()

install(TARGETS ${QX_LIBRARIES}
        EXPORT ZelvoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT programs NAMELINK_COMPONENT development
        INCLUDES DESTINATION ${QX_INSTALL_INCLUDEDIR})
install(TARGETS ${QX_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)

# The finished files go to a folder of their own for every destination, so
# that two installs at once (the install test, CPack) never share one.
install(CODE "
  set(PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  string(MD5 destination \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(lib ${QX_LIBRARIES})
    set(finished \"${PROJECT_BINARY_DIR}/pkgconfig/\${destination}/\${lib}.pc\")
    configure_file(\"${PROJECT_BINARY_DIR}/pkgconfig/\${lib}.pc.in\" \"\${finished}\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES \"\${finished}\")
  endforeach()
" COMPONENT development)

# find_package(ZelvoCalibrator) gives Zelvo::qxcommon, Zelvo::qxxml,
# Zelvo::qxudps and Zelvo::zelvoapi.
install(EXPORT ZelvoTargets NAMESPACE Zelvo:: DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZelvoCalibratorConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/cmake/${PROJECT_NAME}Config.cmake
                              INSTALL_DESTINATION ${QX_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/${PROJECT_NAME}ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/${PROJECT_NAME}Config.cmake
              ${PROJECT_BINARY_DIR}/cmake/${PROJECT_NAME}ConfigVersion.cmake
        DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT development)

# Desktop entry and icon of the calibrator, in the freedesktop.org places.
set(QX_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${QX_PACKAGING_DIR}/zelvo-calibrator.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
install(FILES ${QX_PACKAGING_DIR}/icons/zelvo-calibrator.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT programs)
file(GLOB QX_ICON_SIZES LIST_DIRECTORIES true RELATIVE ${QX_PACKAGING_DIR}/icons ${QX_PACKAGING_DIR}/icons/[0-9]*x[0-9]*)
foreach(size IN LISTS QX_ICON_SIZES)
  install(FILES ${QX_PACKAGING_DIR}/icons/${size}/zelvo-calibrator.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps COMPONENT programs)
endforeach()

# Man pages and changelogs go out compressed, as Debian installs them; -n
# keeps the compressed bytes free of time stamps.
find_program(QX_GZIP gzip REQUIRED)
function(qx_gzip source output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                     COMMAND ${QX_GZIP} -9 -n -c ${source} > ${output}
                     DEPENDS ${source}
                     VERBATIM)
endfunction()

set(QX_MAN_PAGES "")
foreach(program IN LISTS QX_PROGRAMS)
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
  qx_gzip(${QX_PACKAGING_DIR}/man/${program}.1 ${page})
  list(APPEND QX_MAN_PAGES ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${QX_MAN_PAGES})
install(FILES ${QX_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

# Everything the install rules pick up, for builds that need only that
# (scripts/package).
add_custom_target(installed_files)
add_dependencies(installed_files ${QX_LIBRARIES} ${QX_PROGRAMS} man_pages debian_changelog)

# ---- Debian packages ----
set(QX_DEB_PROGRAMS_NAME zelvo-calibrator)
set(QX_DEB_DEVELOPMENT_NAME zelvo-calibrator-dev)
# Each package carries its copyright and changelog in its own doc folder.
configure_file(${QX_PACKAGING_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
qx_gzip(${PROJECT_BINARY_DIR}/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component IN ITEMS PROGRAMS DEVELOPMENT)
  string(TOLOWER ${component} component_name)
  install(FILES ${QX_PACKAGING_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QX_DEB_${component}_NAME} COMPONENT ${component_name})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QX_DEB_PROGRAMS_NAME})
set(CPACK_PACKAGE_VENDOR "Zelvo")
set(CPACK_PACKAGE_CONTACT "Zelvo Calibrator developers <dev@zelvo.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.zelvo.example")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies come from the ELF files themselves; the programs'
# own libraries sit in the same package, in the staging tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME ${QX_DEB_PROGRAMS_NAME})
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION science)
# CPack indents the lines after the summary itself.
set(CPACK_COMPONENT_PROGRAMS_DESCRIPTION "Calibrator for networked sensor devices
Zelvo Calibrator reads the sensors of networked measuring devices and
changes their calibration offsets. The package holds the desktop program,
the command-line tool zelvo-cli, the device simulator zelvo-devsim and the
shared libraries they use.")
# The package ships shared libraries: ldconfig runs once dpkg is done.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_CONTROL_EXTRA ${QX_PACKAGING_DIR}/debian/triggers)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${QX_DEB_DEVELOPMENT_NAME})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS programs)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Zelvo device libraries - development files
Headers, pkg-config files (qxcommon, qxxml, qxudps, zelvoapi) and the CMake
package ZelvoCalibrator for programs that talk to networked sensor devices
through the Zelvo libraries.")
include(CPack)
