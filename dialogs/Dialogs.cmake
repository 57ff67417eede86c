# Button pictures of the add/subtract and change dialogs.
target_sources(kw_app PRIVATE ${CMAKE_SOURCE_DIR}/dialogs/dialogs.qrc)
