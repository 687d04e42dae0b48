# The resource table compiled into the program, in its fixed order.
set (TW_RESOURCES_DIR "${CMAKE_CURRENT_SOURCE_DIR}/resources")

list (GET TW_PLUGIN_ARCHIVES 0 _tw_aax_zip)
list (GET TW_PLUGIN_ARCHIVES 1 _tw_clap_zip)
list (GET TW_PLUGIN_ARCHIVES 2 _tw_vst3_zip)

set (TW_RESOURCE_FILES
    "${_tw_aax_zip}"
    "${_tw_clap_zip}"
    "${_tw_vst3_zip}"
    "${TW_RESOURCES_DIR}/SF-Pro-Rounded-Regular.otf"
    "${TW_RESOURCES_DIR}/SF-Pro-Rounded-Semibold.otf"
    "${TW_RESOURCES_DIR}/tw_emblem.png"
    "${TW_RESOURCES_DIR}/icon_aax.svg"
    "${TW_RESOURCES_DIR}/icon_auv2.svg"
    "${TW_RESOURCES_DIR}/icon_auv3.svg"
    "${TW_RESOURCES_DIR}/icon_clap.svg"
    "${TW_RESOURCES_DIR}/icon_discord.svg"
    "${TW_RESOURCES_DIR}/icon_eula.svg"
    "${TW_RESOURCES_DIR}/icon_help.svg"
    "${TW_RESOURCES_DIR}/icon_install.svg"
    "${TW_RESOURCES_DIR}/icon_lv2.svg"
    "${TW_RESOURCES_DIR}/icon_mail.svg"
    "${TW_RESOURCES_DIR}/icon_manual.svg"
    "${TW_RESOURCES_DIR}/icon_success.svg"
    "${TW_RESOURCES_DIR}/icon_vst3.svg"
    "${TW_RESOURCES_DIR}/icon_warning.svg"
    "${TW_RESOURCES_DIR}/icon_web.svg"
    "${TW_RESOURCES_DIR}/logo_tarnwick.svg")

juce_add_binary_data (tw_binary_data
    NAMESPACE BinaryData
    HEADER_NAME BinaryData.h
    SOURCES ${TW_RESOURCE_FILES})
set_target_properties (tw_binary_data PROPERTIES POSITION_INDEPENDENT_CODE ON)

# JUCE regenerates the table only when the list of files changes; make a changed file count too.
add_custom_command (OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_tw_binary_data/JuceLibraryCode/BinaryData1.cpp"
    APPEND DEPENDS ${TW_RESOURCE_FILES})
