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
