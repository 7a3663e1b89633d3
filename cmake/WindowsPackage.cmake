# The Windows side of the executables: the window's GUI program and its console twin
# with their icon and version resources, and a zip that runs on a bare Windows:
# tarvex.exe, tarvex.com, the Qt and MinGW runtime DLLs and the plugins they load, in
# build-windows/tarvex-<version>-windows-x64.zip; and the same files as an installer,
# tarvex-<version>-windows-x64.msi.

function(tarvex_windows_resources target)
    set(TARVEX_ICO ${CMAKE_CURRENT_BINARY_DIR}/tarvex.ico)
    # One icon and one resource script, whichever program asks first.
    get_property(made GLOBAL PROPERTY tarvex_windows_resources_made)
    if(NOT made)
        set(icons)
        foreach(size IN LISTS tarvex_icon_sizes)
            list(APPEND icons ${PROJECT_SOURCE_DIR}/data/icons/tarvex-${size}.png)
        endforeach()
        add_custom_command(OUTPUT ${TARVEX_ICO}
            COMMAND ${PROJECT_SOURCE_DIR}/cmake/make-ico.sh ${TARVEX_ICO} ${icons}
            DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-ico.sh ${icons}
            COMMENT "Packing the icon artwork into tarvex.ico")
        configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc
                       @ONLY)
        set_property(GLOBAL PROPERTY tarvex_windows_resources_made ON)
    endif()
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tarvex.rc PROPERTIES
                                OBJECT_DEPENDS ${TARVEX_ICO})
endfunction()

# tarvex_windows_runtime(<folder> <output> <qt-modules> <plugins> <strip>): commands
# (in <output>) that put beside an executable in <folder> what it needs to run:
# the Qt DLLs of <qt-modules>, the <plugins> (platforms/qwindows.dll, ...: loaded at
# run time, not linked) and the MinGW runtime DLLs, stripped when <strip> is true.
function(tarvex_windows_runtime folder output modules plugins strip)
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
    get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
    set(files)
    foreach(module IN LISTS modules)
        list(APPEND files ${qt_bin}/Qt6${module}.dll)
    endforeach()
    set(runtime_copies)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
            message(FATAL_ERROR "The MinGW runtime ${dll} is not where the compiler says.")
        endif()
        get_filename_component(path ${path} REALPATH)
        list(APPEND files ${path})
        list(APPEND runtime_copies ${folder}/${dll})
    endforeach()
    set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                 COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${folder}/)
    foreach(plugin IN LISTS plugins)
        get_filename_component(kind ${plugin} DIRECTORY)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/${kind}
             COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt_prefix}/plugins/${plugin}
                     ${folder}/${kind}/)
        list(APPEND files ${qt_prefix}/plugins/${plugin})
    endforeach()
    if(strip)
        # Debian's MinGW runtime DLLs carry their debugging sections (libstdc++ is
        # 23 MB with them, 2 MB without); the Qt ones are stripped already.
        list(APPEND commands COMMAND ${CMAKE_STRIP} --strip-unneeded ${runtime_copies})
    endif()
    set(${output} ${commands} PARENT_SCOPE)
    set(${output}_DEPENDS ${files} PARENT_SCOPE)
endfunction()

# tarvex_windows_zip(<window> <console>): both programs, side by side.
function(tarvex_windows_zip target console)
    set(name tarvex-${PROJECT_VERSION}-windows-x64)
    set(folder ${PROJECT_BINARY_DIR}/${name})
    set(zip ${PROJECT_BINARY_DIR}/${name}.zip)
    # One zip in the build folder: a copy of an earlier version would be taken for it.
    file(GLOB earlier ${PROJECT_BINARY_DIR}/tarvex-*-windows-x64.zip
                      ${PROJECT_BINARY_DIR}/tarvex-*-windows-x64)
    list(REMOVE_ITEM earlier ${zip} ${folder})
    if(earlier)
        file(REMOVE_RECURSE ${earlier})
    endif()
    tarvex_windows_runtime(${folder} runtime "Core;Gui;Widgets;SerialPort"
        "platforms/qwindows.dll;styles/qmodernwindowsstyle.dll;imageformats/qjpeg.dll" ON)
    add_custom_command(OUTPUT ${zip}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder} ${zip}
        ${runtime}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> $<TARGET_FILE:${console}>
                ${folder}/
        COMMAND ${CMAKE_STRIP} --strip-unneeded ${folder}/$<TARGET_FILE_NAME:${target}>
                ${folder}/$<TARGET_FILE_NAME:${console}>
        COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${name}
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS ${target} ${console} ${runtime_DEPENDS}
        COMMENT "Packing ${name}.zip"
        VERBATIM)
    add_custom_target(windows_zip ALL DEPENDS ${zip})
    tarvex_windows_msi()
endfunction()

# The installer, from the folder staged for the zip: cmake/MsiFiles.cmake lists its
# files into tarvex-files.wxi, cmake/tarvex.wxs.in says where they go, and wixl
# (msitools) builds the MSI on Linux. Both stay in build-windows/msi, where
# scripts/test-wine-msi builds a higher version from them.
function(tarvex_windows_msi)
    find_program(TARVEX_WIXL wixl)
    if(NOT TARVEX_WIXL)
        message(WARNING "No wixl (Debian package wixl): the Windows installer is not built.")
        return()
    endif()
    set(name tarvex-${PROJECT_VERSION}-windows-x64)
    set(zip ${PROJECT_BINARY_DIR}/${name}.zip)
    set(msi ${PROJECT_BINARY_DIR}/${name}.msi)
    set(work ${PROJECT_BINARY_DIR}/msi)
    file(GLOB earlier ${PROJECT_BINARY_DIR}/tarvex-*-windows-x64.msi)
    list(REMOVE_ITEM earlier ${msi})
    if(earlier)
        file(REMOVE ${earlier})
    endif()
    set(stage ${PROJECT_BINARY_DIR}/${name})
    set(TARVEX_ICO ${CMAKE_CURRENT_BINARY_DIR}/tarvex.ico)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.wxs.in ${work}/tarvex.wxs @ONLY)
    add_custom_command(OUTPUT ${msi}
        COMMAND ${CMAKE_COMMAND} -D STAGE=${stage} -D OUT=${work}/tarvex-files.wxi
                -P ${PROJECT_SOURCE_DIR}/cmake/MsiFiles.cmake
        COMMAND ${TARVEX_WIXL} --arch x64 --define Version=${PROJECT_VERSION} --output ${msi}
                ${work}/tarvex.wxs
        # The zip's command stages the files afresh each time it runs.
        DEPENDS ${zip} ${work}/tarvex.wxs ${TARVEX_ICO} ${PROJECT_SOURCE_DIR}/cmake/MsiFiles.cmake
        COMMENT "Building ${name}.msi"
        VERBATIM)
    add_custom_target(windows_msi ALL DEPENDS ${msi})
endfunction()

# The suites run where they are built, so what they load goes beside them, the
# offscreen platform in place of the Windows one.
function(tarvex_windows_test_runtime)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/test-runtime.stamp)
    tarvex_windows_runtime($<TARGET_FILE_DIR:tarvex> runtime "Core;Gui;Widgets;SerialPort;Test"
        "platforms/qoffscreen.dll;imageformats/qjpeg.dll" OFF)
    add_custom_command(OUTPUT ${stamp}
        ${runtime}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${runtime_DEPENDS}
        COMMENT "Putting the Qt and MinGW DLLs beside the Windows suites"
        VERBATIM)
    add_custom_target(windows_test_runtime ALL DEPENDS ${stamp})
endfunction()
