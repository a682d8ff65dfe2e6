# The release package for players: cmake --build --preset windows --target package.
# Laid out like the game folder: the plugin, its settings, the car folder and the
# checker in scripts\, and at the top only files named for this plugin, so that
# unzipping it beside other mods overwrites none of theirs.
# CPack stages the files; cmake/package_zip.cmake zips them the same way every time
# (sorted names, one fixed date, no extra attributes), so that two builds of one
# commit give byte-identical zips.
file(READ ${CMAKE_SOURCE_DIR}/docs/player-readme.txt ZK_README)
string(REPLACE "@VERSION@" "${PROJECT_VERSION}" ZK_README "${ZK_README}")
file(WRITE ${CMAKE_BINARY_DIR}/ZorbelKavrin-README.txt "${ZK_README}")
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/ZorbelKavrin-LICENSE.txt COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_BINARY_DIR}/ZorbelKavrin-CHANGELOG.txt COPYONLY)

install(FILES ${ZK_PLUGIN_FILE} DESTINATION scripts)
install(PROGRAMS ${ZK_CHECKER_FILE} DESTINATION scripts)
install(FILES ${CMAKE_SOURCE_DIR}/examples/ZorbelKavrin.ini DESTINATION scripts)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/KavrinCars DESTINATION scripts)
install(FILES ${CMAKE_BINARY_DIR}/ZorbelKavrin-README.txt ${CMAKE_BINARY_DIR}/ZorbelKavrin-LICENSE.txt
              ${CMAKE_BINARY_DIR}/ZorbelKavrin-CHANGELOG.txt DESTINATION .)

set(CPACK_PACKAGE_NAME ZorbelKavrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ZorbelKavrin-${PROJECT_VERSION})
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/package_zip.cmake)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
