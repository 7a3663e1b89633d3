# The Windows side of the executable: a GUI program with its icon and version
# resources, and a zip that runs on a bare Windows: tarvex.exe, the Qt and MinGW
# runtime DLLs and the plugins it loads, in build-windows/tarvex-<version>-windows-x64.zip.

function(tarvex_windows_resources target)
    set(TARVEX_ICO ${CMAKE_CURRENT_BINARY_DIR}/tarvex.ico)
    set(icons)
    foreach(size IN LISTS tarvex_icon_sizes)
        list(APPEND icons ${PROJECT_SOURCE_DIR}/data/icons/tarvex-${size}.png)
    endforeach()
    add_custom_command(OUTPUT ${TARVEX_ICO}
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/make-ico.sh ${TARVEX_ICO} ${icons}
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-ico.sh ${icons}
        COMMENT "Packing the icon artwork into tarvex.ico")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc PROPERTIES
                                OBJECT_DEPENDS ${TARVEX_ICO})
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()

function(tarvex_windows_zip target)
    set(name tarvex-${PROJECT_VERSION}-windows-x64)
    set(folder ${PROJECT_BINARY_DIR}/${name})
    set(zip ${PROJECT_BINARY_DIR}/${name}.zip)

    # Qt's own DLLs by their imported targets; the plugins by file, as they are
    # loaded at run time and not linked.
    set(qt_dlls)
    foreach(module Core Gui Widgets SerialPort)
        list(APPEND qt_dlls $<TARGET_FILE:Qt6::${module}>)
    endforeach()
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(qt_prefix ${qt_core_dll} DIRECTORY)
    get_filename_component(qt_prefix ${qt_prefix} DIRECTORY)
    set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qjpeg.dll)
    set(runtime)
    set(runtime_copies)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
            message(FATAL_ERROR "The MinGW runtime ${dll} is not where the compiler says.")
        endif()
        get_filename_component(path ${path} REALPATH)
        list(APPEND runtime ${path})
        list(APPEND runtime_copies ${folder}/${dll})
    endforeach()

    set(copy_plugins)
    foreach(plugin IN LISTS plugins)
        get_filename_component(kind ${plugin} DIRECTORY)
        list(APPEND copy_plugins COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/${kind}
             COMMAND ${CMAKE_COMMAND} -E copy ${qt_prefix}/plugins/${plugin} ${folder}/${kind}/)
    endforeach()
    list(TRANSFORM plugins PREPEND ${qt_prefix}/plugins/ OUTPUT_VARIABLE plugin_files)

    add_custom_command(OUTPUT ${zip}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder} ${zip}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${qt_dlls} ${runtime} ${folder}/
        ${copy_plugins}
        # Debian's MinGW runtime DLLs carry their debugging sections (libstdc++ is
        # 23 MB with them, 2 MB without); the Qt ones are stripped already.
        COMMAND ${CMAKE_STRIP} --strip-unneeded ${folder}/tarvex.exe ${runtime_copies}
        COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${name}
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS ${target} ${runtime} ${plugin_files}
        COMMENT "Packing ${name}.zip"
        VERBATIM)
    add_custom_target(windows_zip ALL DEPENDS ${zip})
endfunction()
