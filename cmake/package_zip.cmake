# Run by CPack (External generator) with the staged files in
# CPACK_TEMPORARY_DIRECTORY. Makes two packages of them, each zipped reproducibly
# with Info-ZIP (names sorted, one date for every entry, no extra attributes):
#   ZorbelKavrin-<version>.zip         everything, for a new install;
#   ZorbelKavrin-<version>-update.zip  the same without the settings file and the
#                                      example car, so that unzipping it over an
#                                      install keeps the player's.
# Each holds ZorbelKavrin-SHA256SUMS.txt: the SHA-256 of every other file in it,
# as sha256sum -c reads them. The full package's list also lies beside the zips,
# with the zips' own sums after it. Text files (.ini, .txt) get CR LF line ends
# before they are summed, so that the sums hold for the files as unzipped.
find_program(ZIP zip REQUIRED)
set(stage ${CPACK_TEMPORARY_DIRECTORY})
set(full_zip ${CPACK_PACKAGE_FILE_NAME}.zip)
set(update_zip ${CPACK_PACKAGE_FILE_NAME}-update.zip)
set(sums_name ZorbelKavrin-SHA256SUMS.txt)
set(settings_files scripts/ZorbelKavrin.ini scripts/KavrinCars/EXAMPLE_CAR.ini)

file(GLOB_RECURSE files RELATIVE ${stage} LIST_DIRECTORIES false ${stage}/*)
list(REMOVE_ITEM files ${sums_name})
list(SORT files)
foreach(file IN LISTS files)
    if(file MATCHES "\\.(ini|txt)$")
        file(READ ${stage}/${file} text)
        string(REPLACE "\r\n" "\n" text "${text}")
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE ${stage}/${file} "${text}")
    endif()
endforeach()

# The sums of `listed` in `out`, one line each: "<hex>  <path>".
function(zk_write_sums out listed)
    set(sums "")
    foreach(file IN LISTS listed)
        file(SHA256 ${stage}/${file} sum)
        string(APPEND sums "${sum}  ${file}\n")
    endforeach()
    file(WRITE ${out} "${sums}")
endfunction()

# zip stores local time: make it UTC for the touch and for zip alike.
function(zk_zip name listed)
    zk_write_sums(${stage}/${sums_name} "${listed}")
    set(entries ${listed} ${sums_name})
    list(SORT entries)
    set(zip_file ${CPACK_PACKAGE_DIRECTORY}/${name})
    file(REMOVE ${zip_file})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -h -d "2026-01-01 00:00:00" ${entries}
                    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
    if(NOT failed)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -D -q ${zip_file} ${entries}
                        WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
    endif()
    if(failed)
        message(FATAL_ERROR "could not make ${zip_file}")
    endif()
    message(STATUS "package: ${zip_file}")
endfunction()

set(update_files ${files})
list(REMOVE_ITEM update_files ${settings_files})
zk_zip(${update_zip} "${update_files}")
zk_zip(${full_zip} "${files}")

file(READ ${stage}/${sums_name} beside)
foreach(zip IN ITEMS ${full_zip} ${update_zip})
    file(SHA256 ${CPACK_PACKAGE_DIRECTORY}/${zip} sum)
    string(APPEND beside "${sum}  ${zip}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/${sums_name} "${beside}")
message(STATUS "package: ${CPACK_PACKAGE_DIRECTORY}/${sums_name}")
