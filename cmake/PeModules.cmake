# Windows modules with known file versions, and one without a version resource, written by
# tools/pe_module.py at build time (target tw_pe_modules) into TW_PE_MODULES_DIR as
# module-VERSION.dll and module-without-version.dll: fixtures of the tests that read versions and
# seeds of the version reader's fuzz run.

set (TW_PE_MODULE_VERSIONS 4.0.2.0 4.0.1.0 3.12.0.0 4.0.10.0 5.0.0.0 1.2.3.4 65535.0.258.65535 0.0.0.0)
set (TW_PE_MODULES_DIR "${PROJECT_BINARY_DIR}/tests/pe_modules")
string (REPLACE ";" "," TW_PE_MODULE_VERSION_LIST "${TW_PE_MODULE_VERSIONS}") # for a compile definition

find_program (TW_PYTHON3 NAMES python3 python HINTS /usr/bin NO_CMAKE_FIND_ROOT_PATH
              DOC "Python 3 used for build-time tools")

set (tw_pe_modules "")

foreach (tw_version IN LISTS TW_PE_MODULE_VERSIONS ITEMS without-version)
    set (tw_module "${TW_PE_MODULES_DIR}/module-${tw_version}.dll")
    set (tw_arguments --version ${tw_version})

    if (tw_version STREQUAL "without-version")
        set (tw_arguments --version 4.0.2.0 --no-version-resource)
    endif()

    add_custom_command (OUTPUT "${tw_module}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${TW_PE_MODULES_DIR}"
        COMMAND "${TW_PYTHON3}" "${PROJECT_SOURCE_DIR}/tools/pe_module.py" "${tw_module}" ${tw_arguments}
        DEPENDS "${PROJECT_SOURCE_DIR}/tools/pe_module.py"
        VERBATIM)
    list (APPEND tw_pe_modules "${tw_module}")
endforeach()

add_custom_target (tw_pe_modules DEPENDS ${tw_pe_modules})
