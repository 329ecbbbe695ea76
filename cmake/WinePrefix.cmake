# A Wine prefix inside the build folder: its registry holds the registered type
# libraries and ProgIDs that the lookups and the sample read, and its
# drive_c/windows/system32 the same library files as Wine's own folder.
set(MIVRA_WINE64 /usr/lib/wine/wine64)
set(MIVRA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(MIVRA_WINE_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
if(EXISTS ${MIVRA_WINE64} AND NOT CMAKE_CROSSCOMPILING)
  set(MIVRA_HAVE_WINE ON)
  add_custom_command(
    OUTPUT ${MIVRA_WINEPREFIX}/system.reg
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${MIVRA_WINEPREFIX} WINEDEBUG=-all
            ${MIVRA_WINE64} wineboot -i
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${MIVRA_WINEPREFIX} wineserver -w
    COMMENT "Making the Wine prefix ${MIVRA_WINEPREFIX}"
    VERBATIM)
  add_custom_target(wineprefix ALL DEPENDS ${MIVRA_WINEPREFIX}/system.reg)
else()
  set(MIVRA_HAVE_WINE OFF)
endif()
