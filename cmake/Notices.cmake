# The third-party notices the licence panel shows below the licence agreement, compiled in.
#
# tools/sbom/make_sbom.py writes them at build time from the list the release's notices come from:
# the Windows exe's every statically linked package and the fonts, the same text as the
# THIRD-PARTY-NOTICES.txt that scripts/release writes beside the exe (which checks that it is); the
# Linux program's JUCE and the fonts, and the system libraries it uses but does not carry. Their
# texts are Debian's copyright files of those packages, which scripts/deps and scripts/deps-windows
# install, and resources/OFL.txt.

if (MINGW)
    set (tw_notices_platform windows)
else()
    set (tw_notices_platform linux)
endif()

set (tw_notices_folder "${CMAKE_BINARY_DIR}/notices")
set (tw_notices_file "${tw_notices_folder}/THIRD-PARTY-NOTICES.txt")
set (tw_make_sbom "${CMAKE_SOURCE_DIR}/tools/sbom/make_sbom.py")
file (MAKE_DIRECTORY "${tw_notices_folder}")

# The files they are made from: a changed copyright file (a package upgrade) makes them anew.
execute_process (COMMAND /usr/bin/python3 "${tw_make_sbom}" --notice-inputs --platform ${tw_notices_platform}
                         --source "${CMAKE_SOURCE_DIR}"
                 OUTPUT_VARIABLE tw_notice_inputs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string (REPLACE "\n" ";" tw_notice_inputs "${tw_notice_inputs}")
foreach (tw_input IN LISTS tw_notice_inputs)
    if (NOT EXISTS "${tw_input}")
        message (FATAL_ERROR "The third-party notices need ${tw_input} (run scripts/deps, or scripts/deps-windows for the Windows build)")
    endif()
endforeach()
set_property (DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${tw_make_sbom}")

add_custom_command (OUTPUT "${tw_notices_file}"
    COMMAND /usr/bin/python3 "${tw_make_sbom}" --notices-only "${tw_notices_file}" --platform ${tw_notices_platform}
            --source "${CMAKE_SOURCE_DIR}"
    DEPENDS ${tw_notice_inputs}
    COMMENT "Writing the third-party notices (${tw_notices_platform})"
    VERBATIM)

# juce_add_binary_data wants its files at configure time; this one is made by the build, so JUCE's
# tool is run the same way here, once the file is written.
set (tw_notices_list "${tw_notices_folder}/input_file_list")
file (WRITE "${tw_notices_list}" "${tw_notices_file}\n")
set (tw_notices_sources "${tw_notices_folder}/BinaryData1.cpp" "${tw_notices_folder}/NoticesData.h")
add_custom_command (OUTPUT ${tw_notices_sources}
    COMMAND juce::juceaide binarydata NoticesData NoticesData.h "${tw_notices_folder}" "${tw_notices_list}"
    DEPENDS "${tw_notices_file}" "${tw_notices_list}"
    VERBATIM)

add_library (tw_notices_data STATIC ${tw_notices_sources})
target_include_directories (tw_notices_data INTERFACE "${tw_notices_folder}")
target_compile_features (tw_notices_data PRIVATE cxx_std_17)
set_target_properties (tw_notices_data PROPERTIES POSITION_INDEPENDENT_CODE ON)
