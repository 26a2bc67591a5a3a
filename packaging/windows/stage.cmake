# Installs the program folder of the build BUILD afresh into FOLDER and
# writes the installer's list of its files (OUT): what Setup puts in place
# and what the uninstaller takes away, file by file, so that both leave
# every other file in the folder (the user's notes, settings and skins) alone.
#   cmake -D BUILD=... -D FOLDER=... -D OUT=files.nsh -P stage.cmake

file(REMOVE_RECURSE ${FOLDER})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${FOLDER}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${FOLDER} ${FOLDER}/*)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${FOLDER} ${FOLDER}/*)
list(REMOVE_ITEM entries ${files})
# The user's files must never ride along: Setup would write over them.
foreach(file IN LISTS files)
    if(file MATCHES "\\.qkn$|^settings\\.dat$|^\\.marglet\\.lock$")
        message(FATAL_ERROR "${FOLDER} holds the user's file ${file}; install afresh")
    endif()
endforeach()

set(install "")
set(remove "")
set(bytes 0)
set(folder "-")
foreach(file IN LISTS files)
    get_filename_component(dir "${file}" DIRECTORY)
    if(NOT dir STREQUAL folder)
        set(folder "${dir}")
        set(to "$INSTDIR")
        if(dir)
            string(REPLACE "/" "\\" to "${to}/${dir}")
        endif()
        string(APPEND install "  SetOutPath \"${to}\"\n")
    endif()
    string(REPLACE "/" "\\" win "${file}")
    string(APPEND install "  File \"${FOLDER}/${file}\"\n")
    string(APPEND remove "  Delete \"$INSTDIR\\${win}\"\n")
    file(SIZE "${FOLDER}/${file}" size)
    math(EXPR bytes "${bytes} + ${size}")
endforeach()
# Deepest first; RMDir takes a folder only once it is empty.
list(SORT entries ORDER DESCENDING)
foreach(dir IN LISTS entries)
    string(REPLACE "/" "\\" windir "${dir}")
    string(APPEND remove "  RMDir \"$INSTDIR\\${windir}\"\n")
endforeach()
math(EXPR kilobytes "(${bytes} + 1023) / 1024")

file(WRITE ${OUT} "; Made by stage.cmake from ${FOLDER}\n"
    "!define PROGRAM_KB ${kilobytes}\n"
    "!macro InstallProgramFiles\n${install}!macroend\n"
    "!macro RemoveProgramFiles\n${remove}!macroend\n")
