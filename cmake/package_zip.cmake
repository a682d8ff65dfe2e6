# Run by CPack (External generator) with the staged files in
# CPACK_TEMPORARY_DIRECTORY: zips them reproducibly with Info-ZIP (names sorted,
# one date for every entry, no extra attributes). Text files get CR LF line ends.
find_program(ZIP zip REQUIRED)
set(stage ${CPACK_TEMPORARY_DIRECTORY})
set(zip_file ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
file(GLOB_RECURSE files RELATIVE ${stage} LIST_DIRECTORIES false ${stage}/*)
list(SORT files)
set(text_files ${files})
list(FILTER text_files INCLUDE REGEX "\\.(ini|txt)$")
set(binary_files ${files})
list(FILTER binary_files EXCLUDE REGEX "\\.(ini|txt)$")

# zip stores local time: make it UTC for the touch and for zip alike.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -h -d "2026-01-01 00:00:00" ${files}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
file(REMOVE ${zip_file})
if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -D -q ${zip_file} ${binary_files}
                    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
endif()
if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -D -q -l ${zip_file} ${text_files}
                    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "could not make ${zip_file}")
endif()
message(STATUS "package: ${zip_file}")
