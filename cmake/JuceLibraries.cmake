# JUCE's modules compiled once into static libraries that every target links.
#
# tw_juce_core holds juce_core alone, for the installation engine's own tests, which need no GUI
# module. tw_juce_gui holds every module the application uses (juce_core included); the app and the
# GUI tests link it. Both re-export JUCE's include folders and definitions to their users.

add_library (tw_build_flags INTERFACE)
target_compile_definitions (tw_build_flags INTERFACE
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_STRICT_REFCOUNTEDPOINTER=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_MODAL_LOOPS_PERMITTED=0)
target_compile_features (tw_build_flags INTERFACE cxx_std_17)

function (tw_add_juce_library name)
    add_library (${name} STATIC)
    target_link_libraries (${name}
        PRIVATE ${ARGN}
        PUBLIC tw_build_flags juce::juce_recommended_config_flags)
    target_compile_definitions (${name} INTERFACE $<TARGET_PROPERTY:${name},COMPILE_DEFINITIONS>)
    target_include_directories (${name} INTERFACE $<TARGET_PROPERTY:${name},INCLUDE_DIRECTORIES>)
    set_target_properties (${name} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        VISIBILITY_INLINES_HIDDEN ON
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden)
endfunction()

tw_add_juce_library (tw_juce_core juce::juce_core)
tw_add_juce_library (tw_juce_gui
    juce::juce_core
    juce::juce_events
    juce::juce_data_structures
    juce::juce_graphics
    juce::juce_gui_basics
    juce::juce_gui_extra)

# Debian's JUCE uses the system zlib, libpng and libjpeg (its bundled copies cannot be switched
# back on), so we link them ourselves.
find_package (ZLIB REQUIRED)
find_package (PNG REQUIRED)
find_package (JPEG REQUIRED)
target_link_libraries (tw_juce_core PUBLIC ZLIB::ZLIB)
target_link_libraries (tw_juce_gui PUBLIC PNG::PNG JPEG::JPEG ZLIB::ZLIB)

# Our own code: JUCE's headers and definitions, without pulling the module sources in again.
add_library (tw_juce_headers INTERFACE)
target_include_directories (tw_juce_headers INTERFACE $<TARGET_PROPERTY:tw_juce_core,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions (tw_juce_headers INTERFACE $<TARGET_PROPERTY:tw_juce_core,INTERFACE_COMPILE_DEFINITIONS>)
target_link_libraries (tw_juce_headers INTERFACE tw_build_flags juce::juce_recommended_config_flags juce::juce_recommended_warning_flags)
