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

# kvr_glob(OUT DIR PATTERN...): the files in DIR matching the patterns, sorted.
# For the checks only (cmake/KvrChecks.cmake): targets list their sources.
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
    set_property(GLOBAL APPEND PROPERTY KVR_SOURCE_FOLDERS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}")
    add_subdirectory(${dir})
  endforeach()
endfunction()

# kvr_sources_not_built(FILE...): files of the calling folder that this
# configuration leaves out on purpose (an optional package is missing), so
# that kvr_check_tree() does not report them as forgotten.
function(kvr_sources_not_built)
  foreach(f ${ARGN})
    get_filename_component(path "${f}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set_property(GLOBAL APPEND PROPERTY KVR_SOURCES_NOT_BUILT "${path}")
  endforeach()
endfunction()

# _kvr_listed(OUT WHO FILE...): the paths of the files WHO lists, relative to
# the calling folder, each of which must exist; the header beside each .cpp
# comes with it, so that the moc and the layering check see it.
function(_kvr_listed out who)
  set(result)
  foreach(f ${ARGN})
    get_filename_component(path "${f}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "${who} lists '${f}', but ${path} does not exist.")
    endif()
    list(APPEND result "${path}")
    if(path MATCHES "^(.*)\\.cpp$")
      set(header "${CMAKE_MATCH_1}.h")
      if(EXISTS "${header}")
        list(APPEND result "${header}")
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
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

# kvr_folder(NAME [SOURCES a.cpp ...] [UI_SOURCES ui/b.cpp ... ui/c.qrc]
#            [LOGIC_LIBS ...] [WIDGET_LIBS ...])
# A source folder gives up to two libraries: kvr_NAME from the SOURCES,
# which holds logic and links no Qt Widgets, and kvr_NAME_ui from the
# UI_SOURCES in NAME/ui for the widgets and screens of that folder. Every file
# is listed by name (the header beside a .cpp comes with it; a header without
# a .cpp is listed itself); kvr_check_tree() reports a .cpp or .h of the folder
# that no target lists. Headers are included from the top of the tree
# ("store/DataControl.h"). kvr_check_tree() holds the logic library to its
# rule.
function(kvr_folder name)
  cmake_parse_arguments(F "" "" "SOURCES;UI_SOURCES;LOGIC_LIBS;WIDGET_LIBS" ${ARGN})
  if(F_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "Folder ${name}: unknown arguments ${F_UNPARSED_ARGUMENTS}")
  endif()
  kvr_require_targets("Folder ${name}" ${F_LOGIC_LIBS} ${F_WIDGET_LIBS})
  foreach(f ${F_SOURCES})
    if(f MATCHES "^ui/")
      message(FATAL_ERROR "Folder ${name} lists the screen file '${f}' in SOURCES; it belongs in UI_SOURCES.")
    endif()
  endforeach()
  foreach(f ${F_UI_SOURCES})
    if(NOT f MATCHES "^ui/[^/]+$")
      message(FATAL_ERROR "Folder ${name} lists '${f}' in UI_SOURCES; only files in ${name}/ui/ belong there.")
    endif()
  endforeach()
  _kvr_listed(logic_src "Folder ${name}" ${F_SOURCES})
  _kvr_listed(ui_src "Folder ${name}" ${F_UI_SOURCES})
  if(NOT logic_src AND NOT ui_src)
    message(FATAL_ERROR "Folder ${name} (${CMAKE_CURRENT_SOURCE_DIR}) lists no sources.")
  endif()
  set_property(GLOBAL APPEND PROPERTY KVR_LIBRARY_FOLDERS "${CMAKE_CURRENT_SOURCE_DIR}")
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

# kvr_plugin_module(TARGET FILE SOURCES a.cpp ... LIBS ... LOADED_BY lib ...): a part of the
# program in a plugin of its own (common/PluginModule.h), FILE (kvr-name.so),
# built beside the program and linked to Qt and the libraries it needs, never
# to the program's own libraries. The build places a link to it beside the
# tests and the benchmarks, which find it as the program does; packaging
# installs every one in libexec/kvr. Whatever builds a library of LOADED_BY
# builds the plugin with it.
function(kvr_plugin_module target file)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS;LOADED_BY" ${ARGN})
  if(P_UNPARSED_ARGUMENTS OR NOT P_SOURCES)
    message(FATAL_ERROR "kvr_plugin_module(${target} ${file} SOURCES ... LIBS ...): unknown arguments or no sources")
  endif()
  foreach(lib ${P_LIBS})
    if(lib MATCHES "^kvr_")
      message(FATAL_ERROR "The plugin ${target} links ${lib}: a plugin is handed what it needs of the program, "
                          "so that there is one copy of its settings and test seams.")
    endif()
  endforeach()
  _kvr_listed(src "Plugin ${target}" ${P_SOURCES})
  add_library(${target} MODULE ${src})
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${target} PRIVATE kvr_settings ${P_LIBS})
  get_filename_component(name "${file}" NAME_WE)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "${name}"
                                             LIBRARY_OUTPUT_DIRECTORY "${KVR_PROGRAM_DIR}")
  foreach(dir tests-bin bench-bin)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/${dir}"
      COMMAND ${CMAKE_COMMAND} -E create_symlink "$<TARGET_FILE:${target}>" "${CMAKE_BINARY_DIR}/${dir}/${file}"
      VERBATIM)
  endforeach()
  foreach(user ${P_LOADED_BY})
    add_dependencies(${user} ${target})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY KVR_PLUGIN_MODULES ${target})
endfunction()

# kvr_test_folder(TESTS tst_a.cpp ... LIBS ...): each listed test file of the
# calling folder becomes one test executable linked against LIBS.
function(kvr_test_folder)
  cmake_parse_arguments(T "" "" "TESTS;LIBS" ${ARGN})
  if(T_UNPARSED_ARGUMENTS OR NOT T_TESTS)
    message(FATAL_ERROR "${CMAKE_CURRENT_LIST_FILE}: kvr_test_folder(TESTS tst_x.cpp ... LIBS ...) "
                        "lists its test files.")
  endif()
  foreach(f ${T_TESTS})
    _kvr_listed(src "${CMAKE_CURRENT_LIST_FILE}" "${f}")
    get_filename_component(name "${f}" NAME_WE)
    kvr_add_test(${name} SOURCES ${src} LIBS ${T_LIBS})
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

# The loader looks each symbol a program needs up library by library, in the
# order the program names its libraries; most of the desktop program's come
# from the C++ library and Qt's core, GUI and widgets libraries, so those are
# named first. That is a few percent of the start. Left out under the
# sanitizers, whose run-time library must come first.
function(kvr_name_main_libraries_first target)
  if(NOT KVR_SANITIZE)
    target_link_options(${target} PRIVATE "LINKER:--push-state,--no-as-needed" "-lstdc++"
      "$<TARGET_LINKER_FILE:Qt6::Core>" "$<TARGET_LINKER_FILE:Qt6::Gui>" "$<TARGET_LINKER_FILE:Qt6::Widgets>"
      "LINKER:--pop-state")
  endif()
endfunction()
