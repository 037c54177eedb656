# One library per folder: every .cpp of the folder (not its subfolders' tests) is compiled into
# tlv_<name>; the link line states the folder's dependency edges explicitly.
function(tlv_module name)
    cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT srcs)
        # A folder whose code has not arrived yet still gives a library, so the link lines stay true.
        set(srcs ${PROJECT_BINARY_DIR}/empty_${name}.cpp)
        file(WRITE ${srcs} "namespace {}\n")
    endif()
    add_library(tlv_${name} STATIC ${srcs})
    target_include_directories(tlv_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(tlv_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# A googletest executable per tests/<module>/ folder, every .cpp in it.
function(tlv_test_dir name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT srcs)
        return()
    endif()
    add_executable(test_${name} ${srcs})
    target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} tlv_testsupport GTest::gtest GTest::gtest_main)
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TOLVIKAN_SHARED=${TOLVIKAN_SHARED_DIR}")
endfunction()
