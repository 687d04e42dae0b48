# Chooses the three plug-in archives compiled into the resource table.
#
# TW_PLUGIN_ARCHIVES_DIR empty (the default): the stand-in archives committed in
# resources/ are used. Set it to a folder holding the product's deliverable
# aax.zip, clap.zip and vst3.zip to carry those instead; they are checked at
# configure time by tools/check_archives.py, and configuring stops with the
# archive and the broken rule when one does not keep the layout the installer
# relies on.
#
# Result: TW_PLUGIN_ARCHIVES, the three archive paths in resource-table order
# (aax.zip, clap.zip, vst3.zip).

set (TW_PLUGIN_ARCHIVES_DIR "" CACHE PATH
     "Folder with the deliverable plug-in archives aax.zip, clap.zip and vst3.zip (empty: use the stand-ins in resources/)")

set (TW_PLUGIN_ARCHIVE_NAMES aax.zip clap.zip vst3.zip)
get_filename_component (tw_archives_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if (TW_PLUGIN_ARCHIVES_DIR STREQUAL "")
    set (tw_archives_folder "${tw_archives_source_root}/resources")
else()
    get_filename_component (tw_archives_folder "${TW_PLUGIN_ARCHIVES_DIR}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")

    find_program (TW_PYTHON3 NAMES python3 python HINTS /usr/bin NO_CMAKE_FIND_ROOT_PATH
                  DOC "Python 3 used for build-time tools")
    if (NOT TW_PYTHON3)
        message (FATAL_ERROR "TW_PLUGIN_ARCHIVES_DIR is set, but no Python 3 was found to check the archives")
    endif()

    execute_process (COMMAND "${TW_PYTHON3}" "${tw_archives_source_root}/tools/check_archives.py" "${tw_archives_folder}"
                     RESULT_VARIABLE tw_archives_check_result
                     OUTPUT_VARIABLE tw_archives_check_output
                     ERROR_VARIABLE tw_archives_check_errors
                     ERROR_STRIP_TRAILING_WHITESPACE)
    if (NOT tw_archives_check_result EQUAL 0)
        message (FATAL_ERROR "The plug-in archives in ${tw_archives_folder} cannot be carried:\n${tw_archives_check_errors}")
    endif()
    message (STATUS "Plug-in archives: ${tw_archives_folder} (checked)")
endif()

set (TW_PLUGIN_ARCHIVES "")
foreach (tw_archive_name IN LISTS TW_PLUGIN_ARCHIVE_NAMES)
    set (tw_archive "${tw_archives_folder}/${tw_archive_name}")
    list (APPEND TW_PLUGIN_ARCHIVES "${tw_archive}")
    if (NOT TW_PLUGIN_ARCHIVES_DIR STREQUAL "")
        # a replaced deliverable is checked again
        set_property (DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${tw_archive}")
    endif()
endforeach()

unset (tw_archive)
unset (tw_archive_name)
unset (tw_archives_folder)
unset (tw_archives_source_root)
unset (tw_archives_check_result)
unset (tw_archives_check_output)
unset (tw_archives_check_errors)
