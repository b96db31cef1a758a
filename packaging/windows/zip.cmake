# The portable zip of the staged program (STAGE, listed in LIST), every member dated by the last
# commit (else the release day), so that the same commit makes the same zip.
execute_process(COMMAND git -C ${SOURCE} log -1 --format=%cd --date=format-local:%Y-%m-%d\ %H:%M:%S
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT date)
    set(date "${RELEASE_DATE} 12:00:00")
endif()
get_filename_component(parent ${STAGE} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip "--mtime=${date} UTC"
        --files-from=${LIST}
    WORKING_DIRECTORY ${parent} COMMAND_ERROR_IS_FATAL ANY)
