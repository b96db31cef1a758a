# Run by CPack between staging and packing: gives the package what Debian policy asks for beside
# the installed files (the copyright file and changelog in /usr/share/doc/quorvel, in place of the
# plain LICENSE, and the lintian overrides), strips the program as Debian does, and dates every
# file of the package by the last commit, so that one commit always gives the same package.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

set(usr ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${usr}/share/doc/quorvel)
if(NOT EXISTS ${doc}/LICENSE)
    message(FATAL_ERROR "${doc}/LICENSE was not installed")
endif()

# SOURCE_DATE_EPOCH, which CPack gives every file and archive member: the caller's, else the time
# of the last commit, else (a source without its history) noon of the release day.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${CPACK_QUORVEL_SOURCE_DIR} log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE git_status ERROR_QUIET)
    if(NOT git_status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
        execute_process(COMMAND date -u -d "${CPACK_QUORVEL_RELEASE_DATE} 12:00" +%s
            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
message(STATUS "Files of the package dated $ENV{SOURCE_DATE_EPOCH} (SOURCE_DATE_EPOCH)")

# The program without its symbols, and without the compiler's identification (.comment) and the
# .note section, as dh_strip leaves it. The build ID stays, as no symbols are shipped to match it.
execute_process(COMMAND ${CPACK_QUORVEL_STRIP} --remove-section=.comment --remove-section=.note
    ${usr}/bin/quorvel COMMAND_ERROR_IS_FATAL ANY)

# Machine-readable copyright (DEP-5): the holder from the licence's notice, with the year of the
# last commit, then the licence text that follows it, indented, with blank lines written as " .".
file(READ ${doc}/LICENSE licence_text)
if(NOT licence_text MATCHES "Copyright \\(c\\) ([^\n]+)\n")
    message(FATAL_ERROR "${doc}/LICENSE has no copyright notice")
endif()
set(holder ${CMAKE_MATCH_1})
string(FIND "${licence_text}" "${CMAKE_MATCH_0}" notice_start)
string(LENGTH "${CMAKE_MATCH_0}" notice_length)
math(EXPR body_start "${notice_start} + ${notice_length}")
string(SUBSTRING "${licence_text}" ${body_start} -1 licence_text)
string(STRIP "${licence_text}" licence_text)
string(REPLACE "\n" "\n " licence_text " ${licence_text}")
string(REPLACE "\n \n" "\n .\n" licence_text "${licence_text}")
execute_process(COMMAND date -u -d "@$ENV{SOURCE_DATE_EPOCH}" +%Y
    OUTPUT_VARIABLE year OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${doc}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quorvel
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_PACKAGE_HOMEPAGE_URL}

Files: *
Copyright: ${year} ${holder}
License: Expat
${licence_text}
")
file(REMOVE ${doc}/LICENSE)

# The package's changelog, compressed without name and time (-n).
file(COPY_FILE ${CPACK_QUORVEL_PACKAGING_DIR}/changelog ${doc}/changelog.Debian)
execute_process(COMMAND gzip -9 -n -f changelog.Debian WORKING_DIRECTORY ${doc}
    COMMAND_ERROR_IS_FATAL ANY)

set(overrides ${usr}/share/lintian/overrides)
file(MAKE_DIRECTORY ${overrides})
file(COPY_FILE ${CPACK_QUORVEL_PACKAGING_DIR}/lintian-overrides ${overrides}/quorvel)

# Whatever the umask of whoever builds: files made here 644, and every directory 755 (install()
# gives the installed files their modes, but makes directories as the umask says).
file(CHMOD ${doc}/copyright ${doc}/changelog.Debian.gz ${overrides}/quorvel
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB_RECURSE entries LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${entry})
        file(CHMOD ${entry} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
            GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()
