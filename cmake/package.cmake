# The release package for players: cmake --build --preset windows --target package.
# CPack stages the files; cmake/package_zip.cmake zips them the same way every time
# (sorted names, one fixed date, no extra attributes), so that two builds of one
# commit give byte-identical zips.
file(READ ${CMAKE_SOURCE_DIR}/docs/player-readme.txt ZK_README)
string(REPLACE "@VERSION@" "${PROJECT_VERSION}" ZK_README "${ZK_README}")
file(WRITE ${CMAKE_BINARY_DIR}/README.txt "${ZK_README}")

install(TARGETS ZorbelKavrin LIBRARY DESTINATION . RUNTIME DESTINATION .)
install(TARGETS zk-check RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/examples/ZorbelKavrin.ini ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/KavrinCars DESTINATION .)

set(CPACK_PACKAGE_NAME ZorbelKavrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ZorbelKavrin-${PROJECT_VERSION})
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/package_zip.cmake)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
