# The headers that the core's sources share, precompiled once per library.
set(KD_CORE_PCH_HEADERS
    <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QMap>
    <QRegularExpression> <QSqlDatabase> <QSqlError> <QSqlQuery> <QString> <QStringList>
    <QVariant> <algorithm> <functional> <memory> <vector>)

# kd_add_test_pch(<name> [GUI])
# A target that only precompiles the tests' headers, with the flags of a test made by
# kd_add_test, so that every test reuses one precompiled header instead of parsing Qt again.
function(kd_add_test_pch name)
    cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    if(NOT EXISTS ${source})
        file(WRITE ${source} "// Precompiled headers of the tests only.\n")
    endif()
    add_library(${name} STATIC ${source})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    kd_test_settings(${name} ${ARGN})
    set(headers ${KD_CORE_PCH_HEADERS} <QtTest> <QTemporaryDir>)
    if(ARG_GUI)
        list(APPEND headers <QtWidgets>)
    endif()
    target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# What every test target and its precompiled header share: libraries and definitions.
function(kd_test_settings name)
    cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
    target_link_libraries(${name} PRIVATE kd_app kd_core Qt6::Test)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE kd_ui)
    endif()
    target_compile_definitions(${name} PRIVATE
        KD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        KD_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
endfunction()

# kd_add_test(<name> SOURCES <files...> [GUI])
# Adds a QtTest executable linked with the project libraries and registers it with CTest.
function(kd_add_test name)
    cmake_parse_arguments(ARG "GUI" "" "SOURCES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_GUI)
        kd_test_settings(${name} GUI)
        if(TARGET kd_gui_test_pch)
            target_precompile_headers(${name} REUSE_FROM kd_gui_test_pch)
        endif()
    else()
        kd_test_settings(${name})
        if(TARGET kd_test_pch)
            target_precompile_headers(${name} REUSE_FROM kd_test_pch)
        endif()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
