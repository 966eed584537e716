# Building blocks of every CMakeLists.txt in the tree. They fail loudly: a
# library name that is no target, or a folder without its CMakeLists.txt,
# stops the configure step instead of being left out. The checks of the whole
# tree (cmake/KvrChecks.cmake) run once every folder has been added.

include("${CMAKE_CURRENT_LIST_DIR}/KvrChecks.cmake")

# The settings every target of the tree shares: the warnings, -Werror for CI
# builds, the sanitizers and the definitions. Every library, executable, test,
# benchmark and tool links it (PRIVATE); kvr_check_tree() refuses one that
# does not. Headers of other projects come through imported targets and are
# therefore system headers, which the warnings leave alone.
option(KVR_WERROR "Treat compiler warnings as errors (CI builds)" OFF)
option(KVR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(NOT TARGET kvr_settings)
  add_library(kvr_settings INTERFACE)
  target_compile_options(kvr_settings INTERFACE
    -Wall -Wextra -Wpedantic
    -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual -Wformat=2)
  if(KVR_WERROR)
    target_compile_options(kvr_settings INTERFACE -Werror)
  endif()
  if(KVR_SANITIZE)
    target_compile_options(kvr_settings INTERFACE
      -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(kvr_settings INTERFACE -fsanitize=address,undefined)
  endif()
  # In the program's code, text from a char array says its encoding
  # (QStringLiteral, QLatin1String, QString::fromUtf8): a silent cast is how a
  # Persian text gets broken. Tests and benchmarks (KVR_TEST_CODE) build their
  # data from plain ASCII literals and keep the casts.
  target_compile_definitions(kvr_settings INTERFACE
    $<$<NOT:$<BOOL:$<TARGET_PROPERTY:KVR_TEST_CODE>>>:QT_NO_CAST_FROM_ASCII>)
endif()

# kvr_test_code(DIR): every target made in DIR and below is test code.
function(kvr_test_code dir)
  _kvr_targets_below(targets "${dir}")
  if(targets)
    set_target_properties(${targets} PROPERTIES KVR_TEST_CODE ON)
  endif()
endfunction()

# kvr_glob(OUT DIR PATTERN...): the files in DIR matching the patterns, sorted;
# a new file is picked up when the build next runs. The one place in the tree
# that globs.
function(kvr_glob out dir)
  set(patterns)
  foreach(p ${ARGN})
    list(APPEND patterns "${dir}/${p}")
  endforeach()
  file(GLOB files LIST_DIRECTORIES false CONFIGURE_DEPENDS ${patterns})
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# kvr_add_folders(DIR...): adds the sub-folders in the order given; each must
# hold a CMakeLists.txt.
function(kvr_add_folders)
  foreach(dir ${ARGN})
    if(NOT EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
      message(FATAL_ERROR "Folder '${dir}' is listed in ${CMAKE_CURRENT_LIST_FILE} "
                          "but ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt does not exist.")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()

# kvr_require_targets(WHO NAME...): every NAME must be a target defined by
# now (a library of a folder added earlier, or an imported one) or a library
# file that find_library() found.
function(kvr_require_targets who)
  foreach(lib ${ARGN})
    if(IS_ABSOLUTE "${lib}")
      if(NOT EXISTS "${lib}")
        message(FATAL_ERROR "${who} links the file '${lib}', which does not exist.")
      endif()
    elseif(NOT TARGET ${lib})
      message(FATAL_ERROR "${who} links '${lib}', which is no library of this build: misspelt, "
                          "or its folder is added after this one (see the folder order in the "
                          "top CMakeLists.txt).")
    endif()
  endforeach()
endfunction()

# kvr_add_test(NAME SOURCES a.cpp b.cpp LIBS kvr_x kvr_y)
# One test executable per test file; it runs on the offscreen platform with
# its own scratch program folder.
function(kvr_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  kvr_require_targets(${name} ${T_LIBS})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests-bin")
  target_link_libraries(${name} PRIVATE kvr_settings Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES KVR_TEST_CODE ON)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVR_SOURCE_DIR=${CMAKE_SOURCE_DIR};KVR_PROGRAM_DIR=${CMAKE_BINARY_DIR}/bin;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    TIMEOUT 300)
endfunction()

# kvr_folder(NAME LOGIC_LIBS ... WIDGET_LIBS ...)
# A source folder gives up to two libraries: kvr_NAME from NAME/*.cpp, which
# holds logic and links no Qt Widgets, and kvr_NAME_ui from NAME/ui/*.cpp for
# the widgets and screens of that folder. Headers are included from the top of
# the tree ("store/DataControl.h"). kvr_check_tree() holds the logic library
# to its rule.
function(kvr_folder name)
  cmake_parse_arguments(F "" "" "LOGIC_LIBS;WIDGET_LIBS" ${ARGN})
  kvr_require_targets("Folder ${name}" ${F_LOGIC_LIBS} ${F_WIDGET_LIBS})
  kvr_glob(logic_src "${CMAKE_CURRENT_SOURCE_DIR}" *.cpp *.h)
  kvr_glob(ui_src "${CMAKE_CURRENT_SOURCE_DIR}/ui" *.cpp *.h *.qrc)
  if(NOT logic_src AND NOT ui_src)
    message(FATAL_ERROR "Folder ${name} (${CMAKE_CURRENT_SOURCE_DIR}) holds no sources.")
  endif()
  if(logic_src)
    add_library(kvr_${name} STATIC ${logic_src})
    target_include_directories(kvr_${name} PUBLIC "${CMAKE_SOURCE_DIR}")
    target_link_libraries(kvr_${name} PRIVATE kvr_settings PUBLIC Qt6::Core ${F_LOGIC_LIBS})
    set_property(GLOBAL APPEND PROPERTY KVR_LOGIC_LIBRARIES kvr_${name})
  endif()
  if(ui_src)
    add_library(kvr_${name}_ui STATIC ${ui_src})
    target_include_directories(kvr_${name}_ui PUBLIC "${CMAKE_SOURCE_DIR}")
    target_link_libraries(kvr_${name}_ui PRIVATE kvr_settings)
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
  kvr_glob(tests "${CMAKE_CURRENT_SOURCE_DIR}" tst_*.cpp)
  if(NOT tests)
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR} holds no tst_*.cpp.")
  endif()
  foreach(src ${tests})
    get_filename_component(name "${src}" NAME_WE)
    kvr_add_test(${name} SOURCES "${src}" LIBS ${T_LIBS})
  endforeach()
endfunction()
