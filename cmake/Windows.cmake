# The Windows build: cross-built libraries, the executable's own resources, and tests under Wine.
#
# Included from the root before any library is looked for. Cross builds with MinGW-w64 from Linux
# (cmake/toolchains/mingw-w64.cmake) get libpng, libjpeg and GoogleTest cross-built from Debian's
# sources into the build folder once; their tests run under Wine.

if (CMAKE_CROSSCOMPILING AND MINGW)
    set (TW_MINGW_DEPS_PREFIX "${CMAKE_BINARY_DIR}/mingw-deps")
    message (STATUS "MinGW libraries: ${TW_MINGW_DEPS_PREFIX}")
    execute_process (COMMAND "${CMAKE_SOURCE_DIR}/scripts/build-mingw-deps" "${CMAKE_BINARY_DIR}"
                     RESULT_VARIABLE tw_mingw_deps_result)
    if (NOT tw_mingw_deps_result EQUAL 0)
        message (FATAL_ERROR "scripts/build-mingw-deps failed (run scripts/deps-windows first?)")
    endif()
    list (APPEND CMAKE_FIND_ROOT_PATH "${TW_MINGW_DEPS_PREFIX}")
    set_property (DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                  "${CMAKE_SOURCE_DIR}/scripts/build-mingw-deps")

    # Test programs run under Wine in a throwaway prefix inside the build folder.
    set (TW_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
    set (CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tests/windows/wine-run.sh;${TW_WINE_PREFIX}")
endif()

# juce_add_gui_app gives the app a generated resources.rc with a version block and JUCE's icon but
# no manifest. Two VERSIONINFO resources fail at link, so the app gets ours instead of JUCE's.
function (tw_use_own_windows_resources target)
    set (rc_folder "${CMAKE_SOURCE_DIR}/resources/windows")
    get_target_property (sources ${target} SOURCES)
    list (FILTER sources EXCLUDE REGEX "/resources\\.rc$")
    set_target_properties (${target} PROPERTIES SOURCES "${sources}")
    target_sources (${target} PRIVATE "${rc_folder}/tw_installer.rc")
    set_source_files_properties ("${rc_folder}/tw_installer.rc" PROPERTIES
        OBJECT_DEPENDS "${rc_folder}/tw_installer.manifest;${rc_folder}/app_icon.ico")
    if (MINGW)
        # Symbols stripped from the shipped exe (about 4 MB less).
        target_link_options (${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
    endif()
endfunction()

# The app target is made further down the root list file; finish it once it exists.
cmake_language (DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL tw_use_own_windows_resources tw_installer)
