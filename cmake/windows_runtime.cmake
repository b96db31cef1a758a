# The Windows build's layout: every program in bin/, beside the DLLs it needs (Qt's, the MinGW
# runtime's) and Qt's plugins in their folders, as a deployed Qt program has them. The tests
# then run from the build as the program runs once installed; `cmake --install` gives the same
# folder with the licence texts.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# No link time in the programs' headers: the same commit gives the same files.
add_link_options(-Wl,--no-insert-timestamp)

# The program's and the installer's version information name the developers and the licence's
# copyright notice.
set(QUORVEL_VENDOR "The Quorvel developers")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence_text)
if(NOT licence_text MATCHES "Copyright \\(c\\) ([^\n]+)\n")
    message(FATAL_ERROR "LICENSE has no copyright notice")
endif()
set(QUORVEL_COPYRIGHT "Copyright (c) ${CMAKE_MATCH_1}")

set(quorvel_runtime_dir ${CMAKE_BINARY_DIR}/bin)
set(quorvel_qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets)
# Plugins the program loads (its platform and its style), and the one the tests add.
set(quorvel_qt_plugins platforms Qt6::QWindowsIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin)
set(quorvel_test_plugins platforms Qt6::QOffscreenIntegrationPlugin)

set(quorvel_mingw_runtime)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW runtime's ${dll} was not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    file(REAL_PATH "${path}" path)
    list(APPEND quorvel_mingw_runtime ${path})
endforeach()

# Called once the Qt modules are found: copies the DLLs beside the programs at build time and
# installs them with the program.
function(quorvel_windows_runtime)
    set(copies)
    set(libraries ${quorvel_qt_libraries})
    if(QUORVEL_BUILD_TESTS)
        find_package(Qt6 REQUIRED COMPONENTS Test)
        list(APPEND libraries Qt6::Test)
    endif()
    foreach(library ${libraries})
        list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_FILE:${library}> ${quorvel_runtime_dir})
    endforeach()
    foreach(dll ${quorvel_mingw_runtime})
        list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll}
            ${quorvel_runtime_dir})
    endforeach()
    set(plugins ${quorvel_qt_plugins} ${quorvel_test_plugins})
    while(plugins)
        list(POP_FRONT plugins folder plugin)
        list(APPEND copies
            COMMAND ${CMAKE_COMMAND} -E make_directory ${quorvel_runtime_dir}/${folder}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}>
                ${quorvel_runtime_dir}/${folder})
    endwhile()
    add_custom_target(windows_runtime ALL ${copies} VERBATIM)
    # Before any program of the project: the tests are listed by running them as they are built.
    add_dependencies(quorvel_config windows_runtime)

    install(FILES ${quorvel_mingw_runtime} DESTINATION .)
    foreach(library ${quorvel_qt_libraries})
        install(FILES $<TARGET_FILE:${library}> DESTINATION .)
    endforeach()
    set(plugins ${quorvel_qt_plugins})
    while(plugins)
        list(POP_FRONT plugins folder plugin)
        install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${folder})
    endwhile()
endfunction()
