# The Windows package through CPack: one zip with the DLL (bin/tilvogl.dll),
# its import library and the static library (lib/), the headers, the CMake
# package and the pkg-config files, fmapinfo.exe, the licence and a short
# README-windows.txt. scripts/package builds it beside the Debian packages.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
  DESTINATION . COMPONENT development)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tilvogl)
set(CPACK_PACKAGE_VENDOR "TilvoGL developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tilvogl-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
# Everything in the one archive: the library, its development files, fmapinfo.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL runtime development tools)

include(CPack)
