# kd_add_test(<name> SOURCES <files...> [GUI])
# Adds a QtTest executable linked with the project libraries and registers it with CTest.
function(kd_add_test name)
    cmake_parse_arguments(ARG "GUI" "" "SOURCES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE kd_app kd_core Qt6::Test)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE kd_ui)
    endif()
    target_compile_definitions(${name} PRIVATE
        KD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        KD_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
