# Debian's hardening flags for optimised builds, and the sanitizer and fuzzer builds. Included by
# the top-level CMakeLists.txt before any target is defined, so the flags reach every target of the
# project: libraries, tests, the program.

option(QUORVEL_SANITIZE
    "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUORVEL_BUILD_FUZZER
    "Build the libFuzzer target for the configuration writer (needs Clang)" OFF)

if(QUORVEL_SANITIZE AND QUORVEL_BUILD_FUZZER)
    message(FATAL_ERROR "QUORVEL_BUILD_FUZZER already builds with sanitizers; "
        "use it without QUORVEL_SANITIZE")
endif()

if(QUORVEL_SANITIZE)
    # No recovery: the first undefined-behaviour report ends the process with an error, so a
    # test cannot pass after one.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(QUORVEL_BUILD_FUZZER)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QUORVEL_BUILD_FUZZER needs Clang (libFuzzer), "
            "e.g. cmake --preset fuzz")
    endif()
    # The project's code gets libFuzzer's coverage hooks; only the fuzzer executable links
    # libFuzzer itself (fuzz/CMakeLists.txt).
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The hardening every Debian package gets, as the dpkg-buildflags of the release this builds on
# gives it: fortified functions, strong stack protector, full RELRO with immediate binding, and
# what the release adds (stack clash and control-flow protection on Debian 13). Only optimised
# configurations take them, since fortification needs the optimiser; the build type keeps choosing
# -O and -g. Sanitizer builds leave them out: _FORTIFY_SOURCE's checked functions would bypass
# AddressSanitizer's own checks.
# They are Debian's flags for Debian's own programs: the Windows build has the linker's defaults
# for Windows instead (address randomisation, no execution of data).
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT WIN32)
    set(default_debian_flags ON)
else()
    set(default_debian_flags OFF)
endif()
option(QUORVEL_DEBIAN_BUILD_FLAGS
    "Build optimised configurations with the hardening flags of dpkg-buildflags"
    ${default_debian_flags})

if(QUORVEL_DEBIAN_BUILD_FLAGS AND (QUORVEL_SANITIZE OR QUORVEL_BUILD_FUZZER))
    message(STATUS "Sanitizer build: Debian's hardening flags are left out")
elseif(QUORVEL_DEBIAN_BUILD_FLAGS)
    if(NOT DPKG_BUILDFLAGS)
        message(FATAL_ERROR "QUORVEL_DEBIAN_BUILD_FLAGS needs dpkg-buildflags (package dpkg-dev)")
    endif()
    # Run in the source directory, whose path its -ffile-prefix-map then replaces by "."; the build
    # directory, wherever it is, becomes "build" (the later map wins), so that no path of this
    # machine reaches the program and its build ID.
    foreach(kind IN ITEMS CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*)$")
        set(debian_${kind} ${flags})
    endforeach()
    if(NOT PROJECT_BINARY_DIR STREQUAL PROJECT_SOURCE_DIR)
        list(APPEND debian_CXXFLAGS -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
    endif()
    list(JOIN debian_CPPFLAGS " " shown)
    list(JOIN debian_CXXFLAGS " " shown_cxx)
    list(JOIN debian_LDFLAGS " " shown_ld)
    message(STATUS "Debian's hardening flags: ${shown} ${shown_cxx} ${shown_ld}")
    set(optimised_configs Release RelWithDebInfo MinSizeRel)
    list(JOIN optimised_configs , optimised)
    set(optimised $<CONFIG:${optimised}>)
    add_compile_options("$<${optimised}:${debian_CPPFLAGS};${debian_CXXFLAGS}>")
    add_link_options("$<${optimised}:${debian_LDFLAGS}>")
    # For the checks of the package, which is hardened only then.
    if(CMAKE_BUILD_TYPE IN_LIST optimised_configs)
        set(QUORVEL_HARDENED ON)
    endif()
endif()

# Qt's resource compiler writes each file's modification time into the program; a fresh checkout
# would make that the time of the checkout. Every custom command, the resource compiler's among
# them, runs with SOURCE_DATE_EPOCH set to noon of the release day, which rcc then writes instead.
execute_process(COMMAND date -u -d "${QUORVEL_RELEASE_DATE} 12:00" +%s
    OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
    "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch}")
