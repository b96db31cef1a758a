# Sanitizer and fuzzer builds. Included by the top-level CMakeLists.txt before any target is
# defined, so the flags reach every target of the project: libraries, tests, the program.

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
