# noxa_library(<target> <folder> <sources>...)
#
# A static library of the sources in src/<folder>. Its headers are included as
# "<folder>/name.h" through an include folder of its own in the build tree, which holds only
# src/<folder> (a symbolic link to it). The library passes that folder on to what links it, so
# a target finds the headers of its own library and of the libraries it links, and no others:
# a layer that includes a header from above it does not build.
#
# A folder that holds the folder of another library (src/archive/fleet) is given as a folder of
# links to its entries, leaving the other library's out; the list is made again when an entry
# is added or removed.
function(noxa_library target folder)
    add_library(${target} STATIC ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    set(source ${PROJECT_SOURCE_DIR}/src/${folder})
    set(link ${root}/${folder})
    file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true ${source}/*)
    set(own_entries "")
    set(nested OFF)
    foreach(entry IN LISTS entries)
        if(EXISTS ${entry}/CMakeLists.txt)
            set(nested ON)
        else()
            list(APPEND own_entries ${entry})
        endif()
    endforeach()
    # Made again only where it changed: configuring while something compiles is harmless.
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(nested)
        if(IS_SYMLINK ${link})
            file(REMOVE ${link})
        endif()
        file(MAKE_DIRECTORY ${link})
        file(GLOB present LIST_DIRECTORIES true ${link}/*)
        foreach(entry IN LISTS present)
            get_filename_component(name ${entry} NAME)
            if(NOT ${source}/${name} IN_LIST own_entries)
                file(REMOVE ${entry})
            endif()
        endforeach()
        foreach(entry IN LISTS own_entries)
            get_filename_component(name ${entry} NAME)
            if(NOT IS_SYMLINK ${link}/${name})
                file(CREATE_LINK ${entry} ${link}/${name} SYMBOLIC)
            endif()
        endforeach()
    elseif(NOT IS_SYMLINK ${link})
        file(REMOVE_RECURSE ${link})
        file(CREATE_LINK ${source} ${link} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
