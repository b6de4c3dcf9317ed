# Debian packages through CPack, one per install component:
#   runtime     -> libtilvogl1     the shared library
#   development -> libtilvogl-dev  headers, static library, CMake and pkg-config files
#   tools       -> tilvogl-tools   fmapinfo, fmaprender, fmapconvert, fmapview
#   demos       -> tilvogl-demos   the four demos and their maps
# scripts/package configures for /usr with Debian's build flags and runs cpack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tilvogl)
set(CPACK_PACKAGE_VENDOR "TilvoGL developers")
set(CPACK_PACKAGE_CONTACT "TilvoGL developers <tilvogl@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools demos)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies come from the programs' and library's own links
# (dpkg-shlibdeps); libtilvogl1 states its own in a shlibs file and tells
# ldconfig; the dependencies between our packages follow the components'.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/tilvogl)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtilvogl${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig runs through its trigger (CPack's own postinst and postrm call it
# too, see packaging/lintian-notes).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "tile-map playback for OpenGL (shared library)
TilvoGL reads chunked binary tile-map files, turns their tile graphics
into OpenGL textures, steps block animations and draws windows of a layer
as flat quads or 3D block columns.

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtilvogl-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
# The headers name GL types and the CMake package finds OpenGL.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libgl-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "tile-map playback for OpenGL (development files)
TilvoGL reads chunked binary tile-map files, turns their tile graphics
into OpenGL textures, steps block animations and draws windows of a layer
as flat quads or 3D block columns.

This package holds the headers, the static library, the CMake package
(find_package(tilvogl)) and the pkg-config modules tilvogl and
tilvogl-static.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tilvogl-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
# Tiled opens and saves map files through the extension in share/tilvogl/tiled.
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "tiled")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tools for TilvoGL tile-map files
fmapinfo reports what a map file holds, fmaprender draws a map into a PNG
picture without a display, fmapconvert converts map files to Tiled maps
and back, and fmapview shows a map in a window. An extension for the Tiled
map editor (enabled by /usr/share/tilvogl/tiled/enable) lets Tiled open and
save map files.")

set(CPACK_DEBIAN_DEMOS_PACKAGE_NAME tilvogl-demos)
set(CPACK_DEBIAN_DEMOS_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_DEMOS_DEPENDS runtime)
set(CPACK_COMPONENT_DEMOS_DESCRIPTION "demo programs of the TilvoGL tile-map library
Four OpenGL demos of tile maps: shipdemo moves a ship over two scrolling
layers, spinlit spins a town of lit block columns, spinblend turns a flat
garden with second graphics blended over the first, and isoview shows
hills and a keep as block columns from an iso-style viewpoint. Their two
maps are included.")

# Each package carries its copyright file and a Debian changelog in its own
# folder under /usr/share/doc. The changelog's date honours SOURCE_DATE_EPOCH.
string(TIMESTAMP TILVOGL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
foreach(component runtime development tools demos)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component})
endforeach()

include(CPack)
