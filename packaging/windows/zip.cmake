# The portable zip of the staged program (STAGE, its files listed in LIST), with Info-ZIP: every
# member dated by the last commit (else the release day) and no owner or access times, so that
# the same commit makes the same zip.
execute_process(COMMAND git -C ${SOURCE} log -1 --format=%cd --date=format-local:%Y-%m-%dT%H:%M:%S
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT date)
    set(date "${RELEASE_DATE}T12:00:00")
endif()
get_filename_component(parent ${STAGE} DIRECTORY)
file(STRINGS ${LIST} members)
execute_process(COMMAND touch -d "${date}Z" ${members}
    WORKING_DIRECTORY ${parent} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${ZIP})
execute_process(COMMAND zip -q -X -D -9 ${ZIP} -@ INPUT_FILE ${LIST}
    WORKING_DIRECTORY ${parent} COMMAND_ERROR_IS_FATAL ANY)
