# On Windows the install prefix is the program folder itself, as the program
# expects everything beside it: marglet.exe, its network module, the skins,
# Qt's libraries and plugins, and the compiler's runtime. Unpacked anywhere,
# it runs with nothing else installed.

set(_qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
foreach(library IN LISTS _qt_libraries)
    install(FILES $<TARGET_FILE:${library}> DESTINATION .)
endforeach()

# Plugins go where Qt looks for them, beside the program: the platform, GIF
# for the skins, and the style that draws like the system's own controls.
foreach(plugin_dir_target IN ITEMS
        "platforms;Qt6::QWindowsIntegrationPlugin"
        "imageformats;Qt6::QGifPlugin"
        "styles;Qt6::QWindowsVistaStylePlugin")
    list(GET plugin_dir_target 0 plugin_dir)
    list(GET plugin_dir_target 1 plugin)
    if(TARGET ${plugin})
        install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${plugin_dir})
    else()
        message(WARNING "${plugin} is not in this Qt: the program folder will lack it")
    endif()
endforeach()

# The runtime of the compiler the program and Qt were built with, where the
# compiler finds it (the tests under Wine use MARGLET_RUNTIME_DLLS too).
set(MARGLET_RUNTIME_DLLS "")
if(MINGW)
    foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${path}")
            file(REAL_PATH "${path}" path)
        endif()
        if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
            message(FATAL_ERROR "The compiler's runtime ${runtime} was not found")
        endif()
        install(FILES ${path} DESTINATION .)
        list(APPEND MARGLET_RUNTIME_DLLS ${path})
    endforeach()
endif()

# Debugging symbols are more than half of these files (34 MB of 61) and of
# no use to a user; the build folder keeps them.
if(CMAKE_STRIP)
    install(CODE "
        file(GLOB_RECURSE binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\"
                                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\")
        foreach(binary IN LISTS binaries)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${binary}\"
                            RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR \"Could not strip \${binary}\")
            endif()
        endforeach()")
endif()
