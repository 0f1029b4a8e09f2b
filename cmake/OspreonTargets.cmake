# Helpers that keep every folder's CMakeLists down to its sources and dependencies.

# ospreon_library(NAME SOURCES ... [DEPENDS ...] [PRIVATE_DEPENDS ...])
# A shared library whose public headers are included from the repository root
# ("platform/com/guid.h"), so an include names the layer it reaches into. It holds
# process-wide state (the module table, the registry connection, Alertlib's key
# cache), so once loaded it stays: a plug-in module that pulled it in may unload,
# the library does not (-z nodelete).
function(ospreon_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    target_link_options(${name} PRIVATE -Wl,-z,nodelete)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
endfunction()

# ospreon_module(NAME SOURCES ... [DEPENDS ...])
# A module loaded with dlopen (a COM in-process server): no "lib" prefix, hidden
# symbols except its exports, -fno-gnu-unique so dlclose really unloads it, and an
# absolute RUNPATH to our shared libraries so a copy in another folder still loads.
function(ospreon_module name)
    cmake_parse_arguments(ARG "" "OUTPUT_DIRECTORY" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} MODULE ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        SUFFIX ".so"
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        BUILD_RPATH ${OSPREON_LIB_DIR}
        INSTALL_RPATH ${OSPREON_LIB_DIR}
        BUILD_WITH_INSTALL_RPATH ON)
    if(ARG_OUTPUT_DIRECTORY)
        set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
    endif()
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
endfunction()

# ospreon_check_library(NAME SOURCES ... [DEPENDS ...])
# A monitor type's check as a static library, linked into its module and directly
# into its tests: hidden symbols and -fno-gnu-unique, as the module is built.
function(ospreon_check_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# ospreon_test(NAME SOURCES ... [DEPENDS ...] [SERIAL])
# One GoogleTest executable per area, registered with CTest as one test per case.
function(ospreon_test name)
    cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    set(props ENVIRONMENT "OSPREON_BUILD_DIR=${CMAKE_BINARY_DIR}")
    if(ARG_SERIAL)
        list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# ospreon_check_includes()
# Fails the configuration when a file includes a header of another target that its
# own target does not link directly (named in its target_link_libraries): what a
# folder uses, its CMakeLists says. A header belongs to the targets of its folder;
# in a folder with several targets, to the one that compiles the .cpp of the same
# name when there is one, else to all of them (and may then use what any of them
# links). Includes outside the project are not checked.
function(ospreon_check_includes)
    _ospreon_all_targets(${PROJECT_SOURCE_DIR} targets)
    foreach(target IN LISTS targets)
        get_target_property(dir ${target} SOURCE_DIR)
        file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
        set_property(GLOBAL APPEND PROPERTY _OSPREON_OWNERS_${folder} ${target})
    endforeach()
    # Which targets answer for each file: the ones compiling a source, the owners
    # of a header. A file answered for by several may use what any of them links.
    set(files "")
    foreach(target IN LISTS targets)
        _ospreon_target_files(${target} mine)
        foreach(file IN LISTS mine)
            string(MAKE_C_IDENTIFIER "${file}" id)
            set_property(GLOBAL APPEND PROPERTY _OSPREON_FILE_${id} ${target})
        endforeach()
        list(APPEND files ${mine})
    endforeach()
    list(REMOVE_DUPLICATES files)

    set(failures "")
    foreach(file IN LISTS files)
        string(MAKE_C_IDENTIFIER "${file}" id)
        get_property(answering GLOBAL PROPERTY _OSPREON_FILE_${id})
        set(links ${answering})
        foreach(target IN LISTS answering)
            _ospreon_direct_links(${target} direct)
            list(APPEND links ${direct})
        endforeach()
        file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${file})
        get_filename_component(folder ${shown} DIRECTORY)
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header
                   "${line}")
            get_filename_component(headerFolder ${header} DIRECTORY)
            if(headerFolder STREQUAL folder OR NOT EXISTS ${PROJECT_SOURCE_DIR}/${header})
                continue()
            endif()
            _ospreon_header_owners(${header} ${headerFolder} owners)
            set(linked FALSE)
            foreach(owner IN LISTS owners)
                if(owner IN_LIST links)
                    set(linked TRUE)
                endif()
            endforeach()
            if(owners AND NOT linked)
                string(REPLACE ";" " or " ownerText "${owners}")
                string(REPLACE ";" " or " answeringText "${answering}")
                list(APPEND failures
                     "${shown} includes ${header}, but ${answeringText} does not link ${ownerText}")
            endif()
        endforeach()
    endforeach()
    if(failures)
        list(REMOVE_DUPLICATES failures)
        string(REPLACE ";" "\n  " text "${failures}")
        message(FATAL_ERROR "Includes of targets that are not linked:\n  ${text}")
    endif()
endfunction()

# Every target defined below `dir`, imported and utility targets left out.
function(_ospreon_all_targets dir out)
    get_property(here DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    set(result "")
    foreach(target IN LISTS here)
        get_target_property(type ${target} TYPE)
        if(NOT type STREQUAL "UTILITY")
            list(APPEND result ${target})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        _ospreon_all_targets(${subdir} more)
        list(APPEND result ${more})
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# The targets a target names in its target_link_libraries, public and private.
function(_ospreon_direct_links target out)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    else()
        get_target_property(links ${target} LINK_LIBRARIES)
    endif()
    if(NOT links)
        set(links "")
    endif()
    string(REGEX REPLACE "\\$<LINK_ONLY:([^>]+)>" "\\1" links "${links}")
    set(${out} ${links} PARENT_SCOPE)
endfunction()

# The files a target is answerable for: its sources, and the headers of its folder
# that belong to it.
function(_ospreon_target_files target out)
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    set(result "")
    if(sources)
        foreach(source IN LISTS sources)
            get_filename_component(path ${source} ABSOLUTE BASE_DIR ${dir})
            if(path MATCHES "\\.(cpp|h)$" AND EXISTS ${path})
                list(APPEND result ${path})
            endif()
        endforeach()
    endif()
    file(GLOB headers ${dir}/*.h)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    foreach(header IN LISTS headers)
        file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${header})
        _ospreon_header_owners(${relative} "${folder}" owners)
        if(target IN_LIST owners)
            list(APPEND result ${header})
        endif()
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# The targets of `folder` that `header` belongs to: the one compiling its .cpp,
# else all of the folder's.
function(_ospreon_header_owners header folder out)
    get_property(owners GLOBAL PROPERTY _OSPREON_OWNERS_${folder})
    get_filename_component(stem ${header} NAME_WE)
    foreach(owner IN LISTS owners)
        get_target_property(sources ${owner} SOURCES)
        if(sources)
            foreach(source IN LISTS sources)
                get_filename_component(sourceStem ${source} NAME_WE)
                if(sourceStem STREQUAL stem)
                    set(${out} ${owner} PARENT_SCOPE)
                    return()
                endif()
            endforeach()
        endif()
    endforeach()
    set(${out} ${owners} PARENT_SCOPE)
endfunction()
