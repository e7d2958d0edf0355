# CMake helpers of the crash-report library.
include_guard(GLOBAL)

# The link feature NO_AS_NEEDED: the library stays in the program's list of needed libraries even
# when the program names none of its functions (the leak catcher, crashreport_leaks).
set(CMAKE_LINK_LIBRARY_USING_NO_AS_NEEDED "LINKER:--push-state,--no-as-needed" "<LINK_ITEM>" "LINKER:--pop-state")
set(CMAKE_LINK_LIBRARY_USING_NO_AS_NEEDED_SUPPORTED TRUE)

# crashreport_embed_options(<target> OPTIONS <file> [LINE_TABLE_GENERATOR <tool target>] [APPENDED])
#
# After <target> is linked, builds its crash data block from the options file
# with the crdata tool and puts it into the target's file: as the
# non-allocated section ".crdata" (the code does not move), or with APPENDED as
# a block appended to the file. With LINE_TABLE_GENERATOR, the generator runs
# first as `<generator> <target file> <output file>` and its output becomes the
# stream "LINE" of the block.
function(crashreport_embed_options target)
    cmake_parse_arguments(CR "APPENDED" "OPTIONS;LINE_TABLE_GENERATOR" "" ${ARGN})
    if(NOT CR_OPTIONS)
        message(FATAL_ERROR "crashreport_embed_options(${target}): OPTIONS <file> is required")
    endif()
    get_filename_component(options_file "${CR_OPTIONS}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.crdata.dir")
    set(block "${work_dir}/block.crdata")
    set(streams)
    set(commands COMMAND ${CMAKE_COMMAND} -E make_directory "${work_dir}")
    if(CR_LINE_TABLE_GENERATOR)
        set(line_table "${work_dir}/line-table.bin")
        list(APPEND commands COMMAND ${CR_LINE_TABLE_GENERATOR} "$<TARGET_FILE:${target}>" "${line_table}")
        list(APPEND streams --stream "LINE=${line_table}")
    endif()
    if(CR_APPENDED)
        list(APPEND commands COMMAND crdata --append "$<TARGET_FILE:${target}>" ${streams} "${options_file}")
    else()
        if(NOT CMAKE_OBJCOPY)
            find_program(CMAKE_OBJCOPY objcopy REQUIRED)
        endif()
        list(APPEND commands
            COMMAND crdata ${streams} "${options_file}" "${block}"
            COMMAND ${CMAKE_OBJCOPY} --remove-section=.crdata
                    --add-section ".crdata=${block}"
                    --set-section-flags .crdata=contents,readonly,noload
                    "$<TARGET_FILE:${target}>")
    endif()
    add_custom_command(TARGET ${target} POST_BUILD ${commands}
        COMMENT "Embedding the crash-report options of ${target}"
        VERBATIM)
    # A changed options file links the target again, which embeds it again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${options_file}")
    add_dependencies(${target} crdata)
    if(CR_LINE_TABLE_GENERATOR)
        add_dependencies(${target} ${CR_LINE_TABLE_GENERATOR})
    endif()
endfunction()
