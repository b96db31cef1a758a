# The newest release the metainfo announces must be the version being built, with a valid date.
#   cmake -DMETAINFO=<file> -DVERSION=<project version> -P check_release.cmake
file(READ ${METAINFO} metainfo)
string(REGEX MATCHALL "<release [^>]*>" releases "${metainfo}")
if(NOT releases)
    message(FATAL_ERROR "${METAINFO} announces no release")
endif()
list(GET releases 0 newest)
if(NOT newest MATCHES "version=\"([^\"]*)\"")
    message(FATAL_ERROR "release without a version: ${newest}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    message(FATAL_ERROR
        "the newest release in ${METAINFO} is ${CMAKE_MATCH_1}, the project is ${VERSION}")
endif()
if(NOT newest MATCHES "date=\"[0-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]\"")
    message(FATAL_ERROR "release ${VERSION} has no date of the form YYYY-MM-DD: ${newest}")
endif()
message(STATUS "newest release ${VERSION}: ${newest}")
