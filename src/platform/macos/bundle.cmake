# carvo_macos_bundle(target): makes the application Carvo.app, the name `tell application
# "Carvo"` finds: Info.plist from Info.plist.in, the scripting dictionary and the icon as
# resources, the command classes and the in-process runner linked in.
set(CARVO_MACOS_ICNS "" CACHE FILEPATH
    "carvo.icns for the bundle, made from packaging/carvo.svg (the macOS workflow makes one)")

function(carvo_macos_bundle target)
    set(here ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    set(sdef ${here}/Carvo.sdef)
    set_source_files_properties(${sdef} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
    target_sources(${target} PRIVATE ${sdef})
    set_target_properties(${target} PROPERTIES
        MACOSX_BUNDLE TRUE
        OUTPUT_NAME Carvo
        MACOSX_BUNDLE_INFO_PLIST ${here}/Info.plist.in
        MACOSX_BUNDLE_BUNDLE_NAME Carvo
        MACOSX_BUNDLE_GUI_IDENTIFIER io.carvo.Carvo
        MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
        MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})
    if(CARVO_MACOS_ICNS)
        set_source_files_properties(${CARVO_MACOS_ICNS} PROPERTIES
                                    MACOSX_PACKAGE_LOCATION Resources)
        target_sources(${target} PRIVATE ${CARVO_MACOS_ICNS})
        get_filename_component(icon ${CARVO_MACOS_ICNS} NAME)
        set_target_properties(${target} PROPERTIES MACOSX_BUNDLE_ICON_FILE ${icon})
    endif()
    target_link_libraries(${target} PRIVATE carvo_macos_script_commands carvo_platform_macos)
endfunction()
