# kvr_add_test(NAME SOURCES a.cpp b.cpp LIBS kvr_x kvr_y)
# One test executable per test file; it runs on the offscreen platform with
# its own scratch program folder.
# Libraries named kvr_* that no folder has built (yet) are left out, so a folder
# can name the libraries it will use before they exist.
function(kvr_existing out)
  set(result)
  foreach(lib ${ARGN})
    if(lib MATCHES "^kvr_" AND NOT TARGET ${lib})
      continue()
    endif()
    list(APPEND result ${lib})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(kvr_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  kvr_existing(T_LIBS ${T_LIBS})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests-bin")
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVR_SOURCE_DIR=${CMAKE_SOURCE_DIR};KVR_PROGRAM_DIR=${CMAKE_BINARY_DIR}/bin;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    TIMEOUT 300)
endfunction()

# kvr_folder(NAME LOGIC_LIBS ... WIDGET_LIBS ...)
# A source folder gives up to two libraries: kvr_NAME from NAME/*.cpp, which
# holds logic and links no Qt Widgets, and kvr_NAME_ui from NAME/ui/*.cpp for
# the widgets and screens of that folder. Headers are included from the top of
# the tree ("store/DataControl.h").
function(kvr_folder name)
  cmake_parse_arguments(F "" "" "LOGIC_LIBS;WIDGET_LIBS" ${ARGN})
  kvr_existing(F_LOGIC_LIBS ${F_LOGIC_LIBS})
  kvr_existing(F_WIDGET_LIBS ${F_WIDGET_LIBS})
  file(GLOB logic_src CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  file(GLOB ui_src CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h")
  file(GLOB qrc_src CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc")
  if(logic_src)
    add_library(kvr_${name} STATIC ${logic_src})
    target_include_directories(kvr_${name} PUBLIC "${CMAKE_SOURCE_DIR}")
    target_link_libraries(kvr_${name} PUBLIC Qt6::Core ${F_LOGIC_LIBS})
  endif()
  if(ui_src)
    add_library(kvr_${name}_ui STATIC ${ui_src} ${qrc_src})
    target_include_directories(kvr_${name}_ui PUBLIC "${CMAKE_SOURCE_DIR}")
    if(logic_src)
      target_link_libraries(kvr_${name}_ui PUBLIC kvr_${name})
    endif()
    target_link_libraries(kvr_${name}_ui PUBLIC Qt6::Widgets ${F_WIDGET_LIBS})
  endif()
endfunction()

# kvr_test_folder(LIBS ...): every tst_*.cpp in the calling folder becomes one
# test executable linked against LIBS.
function(kvr_test_folder)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp")
  foreach(src ${tests})
    get_filename_component(name "${src}" NAME_WE)
    kvr_add_test(${name} SOURCES "${src}" LIBS ${T_LIBS})
  endforeach()
endfunction()

# kvr_server_variant(tst_a tst_b ...): each listed test runs a second time, as
# <name>_server, against a PostgreSQL server the test starts for itself
# (KVR_TEST_DATABASE=server; tests/support/TestServer.h).
function(kvr_server_variant)
  foreach(name ${ARGN})
    if(NOT TARGET ${name})
      message(FATAL_ERROR "kvr_server_variant: there is no test ${name}")
    endif()
    add_test(NAME ${name}_server COMMAND ${name})
    get_test_property(${name} ENVIRONMENT env)
    set_tests_properties(${name}_server PROPERTIES ENVIRONMENT "${env};KVR_TEST_DATABASE=server" TIMEOUT 300)
  endforeach()
endfunction()
