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

# The same sources make the same exe, byte for byte, in whatever folder and at whatever time they
# are built, so that anyone can check a published exe against them (scripts/release).
if (MINGW)
    # ld writes the time of the link into the COFF header, and with it changes the PE checksum it
    # computes over the file: the time stamp is left 0. The checksum stays, a function of the bytes.
    add_link_options (-Wl,--no-insert-timestamp)

    # __FILE__ (in JUCE's assertion logging, for one) would name the source and build
    # folders: they are written as paths relative to those folders instead.
    add_compile_options ("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
                         "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

    # juce_core compiles __DATE__ and __TIME__ in (Time::getCompilationDate, linked in with the rest
    # of the module though the program never calls it), so every build would carry its own time.
    # GCC takes both from SOURCE_DATE_EPOCH when it is set: a fixed 0 ("Jan  1 1970", "00:00:00")
    # rather than a date that would pass for when the exe was made.
    foreach (language IN ITEMS C CXX)
        set (CMAKE_${language}_COMPILER_LAUNCHER "${CMAKE_COMMAND}" -E env SOURCE_DATE_EPOCH=0
             ${CMAKE_${language}_COMPILER_LAUNCHER})
    endforeach()
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
        # The linker's map beside the exe: the release's bill of materials is made from what it names.
        target_link_options (${target} PRIVATE "LINKER:-Map=$<TARGET_FILE_DIR:${target}>/${target}.map")
    endif()
endfunction()

# The exe runs elevated, often started from a Downloads folder: a DLL it imports at load time that
# is not one of Windows' KnownDLLs would be looked for beside the exe first, where anyone may have
# put one. Such DLLs are delay-loaded instead: the first call loads them, after WinMain has limited
# DLL loading to System32 (SetDefaultDllDirectories). Delay-import libraries named as the usual
# import libraries are made from those (dlltool --output-delaylib) into a folder that the linker
# searches first, so JUCE's own "-lwinmm" and the like take them.
set (TW_DELAY_LOADED_DLLS version wininet winmm wsock32 dxgi rstrtmgr crypt32)

if (MINGW)
    set (tw_delayload_folder "${CMAKE_BINARY_DIR}/delayload")
    file (MAKE_DIRECTORY "${tw_delayload_folder}")
    find_program (TW_MINGW_NM NAMES x86_64-w64-mingw32-nm REQUIRED)
    find_program (TW_MINGW_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)

    foreach (tw_dll IN LISTS TW_DELAY_LOADED_DLLS)
        find_library (tw_import_library_${tw_dll} NAMES lib${tw_dll}.a REQUIRED NO_CACHE)
        execute_process (COMMAND "${TW_MINGW_NM}" --defined-only "${tw_import_library_${tw_dll}}"
                         OUTPUT_VARIABLE tw_symbols COMMAND_ERROR_IS_FATAL ANY)
        # Every function the import library names (its __imp_ symbols), in a module definition.
        string (REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" tw_imports "${tw_symbols}")
        list (TRANSFORM tw_imports REPLACE "^__imp_" "")
        list (REMOVE_DUPLICATES tw_imports)
        list (SORT tw_imports)
        string (REPLACE ";" "\n" tw_exports "${tw_imports}")
        file (WRITE "${tw_delayload_folder}/${tw_dll}.def" "LIBRARY ${tw_dll}.dll\nEXPORTS\n${tw_exports}\n")
        # dlltool names the library's members and symbols after its output path: given from inside
        # the folder, so that they do not differ from one build folder to another, nor the exe.
        execute_process (COMMAND "${TW_MINGW_DLLTOOL}" --input-def "${tw_dll}.def" --output-delaylib "lib${tw_dll}.a"
                                 --temp-prefix "tw_${tw_dll}"
                         WORKING_DIRECTORY "${tw_delayload_folder}" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()

function (tw_delay_load_dlls target)
    if (MINGW)
        target_link_directories (${target} BEFORE PRIVATE "${CMAKE_BINARY_DIR}/delayload")
        # Found by -l, so the build would not know to link again when one is made anew.
        list (TRANSFORM TW_DELAY_LOADED_DLLS REPLACE "^(.+)$" "${CMAKE_BINARY_DIR}/delayload/lib\\1.a" OUTPUT_VARIABLE libraries)
        set_property (TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${libraries})
    endif()
endfunction()

# The app target is made further down the root list file; finish it once it exists.
cmake_language (DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL tw_use_own_windows_resources tw_installer)
cmake_language (DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL tw_delay_load_dlls tw_installer)
