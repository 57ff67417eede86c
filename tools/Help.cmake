# Help viewer, about box, splash window and the program's pictures.
include(GNUInstallDirs)

target_sources(kw_tools_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpFile.cpp ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpFile.h)
# The installed copy of the help file is the last place the viewer looks.
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpFile.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  KWOTNIK_INSTALL_DATADIR="${CMAKE_INSTALL_FULL_DATADIR}/kwotnik")

target_sources(kw_tools PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpViewer.cpp ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpViewer.h
  ${CMAKE_CURRENT_SOURCE_DIR}/help/UnitA.cpp ${CMAKE_CURRENT_SOURCE_DIR}/help/UnitA.h
  ${CMAKE_CURRENT_SOURCE_DIR}/help/UnitLogo.cpp ${CMAKE_CURRENT_SOURCE_DIR}/help/UnitLogo.h
  ${CMAKE_CURRENT_SOURCE_DIR}/help/Artwork.cpp ${CMAKE_CURRENT_SOURCE_DIR}/help/Artwork.h
  ${CMAKE_CURRENT_SOURCE_DIR}/help/Help.qrc)

# The help file beside the built program, so a program started from the build directory finds it.
configure_file(${CMAKE_SOURCE_DIR}/data/POMOC.HLP ${CMAKE_BINARY_DIR}/POMOC.HLP COPYONLY)

install(FILES ${CMAKE_SOURCE_DIR}/data/POMOC.HLP DESTINATION ${CMAKE_INSTALL_DATADIR}/kwotnik)
install(FILES ${CMAKE_SOURCE_DIR}/data/kwotnik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/kwotnik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
