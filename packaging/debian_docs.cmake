# Run by CPack between staging and packing: gives the package the copyright file and changelog
# that Debian policy asks for, in /usr/share/doc/quorvel, in place of the plain LICENSE.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

set(doc ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/quorvel)
if(NOT EXISTS ${doc}/LICENSE)
    message(FATAL_ERROR "${doc}/LICENSE was not installed")
endif()

# Machine-readable copyright (DEP-5): the holder from the licence's notice, then the licence text
# that follows it, indented, with blank lines written as " .".
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
file(WRITE ${doc}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quorvel
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_PACKAGE_HOMEPAGE_URL}

Files: *
Copyright: ${holder}
License: Expat
${licence_text}
")
file(REMOVE ${doc}/LICENSE)

# The changelog entry of this version, dated like its release.
execute_process(COMMAND date -u -R -d "${CPACK_QUORVEL_RELEASE_DATE} 12:00"
    OUTPUT_VARIABLE release_time OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(debian_version ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
file(WRITE ${doc}/changelog.Debian
"quorvel (${debian_version}) unstable; urgency=medium

  * Quorvel ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${release_time}
")
# -n leaves the name and time out of the archive, so that equal input gives an equal package.
execute_process(COMMAND gzip -9 -n -f changelog.Debian WORKING_DIRECTORY ${doc}
    COMMAND_ERROR_IS_FATAL ANY)
