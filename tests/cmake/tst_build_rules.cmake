# The build rules refuse a broken tree. Each case configures a small scratch
# project built with cmake/KvrHelpers.cmake (a logic folder "core" with its
# screens in core/ui, and a logic folder "report" that uses core) after
# putting one fault into it, and expects the configure step to stop with a
# message naming the fault. The clean cases must configure.
#   cmake -DKVR_SOURCE_DIR=<tree> -DWORK=<scratch folder> [-DCXX=<compiler>] -P tst_build_rules.cmake
cmake_minimum_required(VERSION 3.22)
foreach(v KVR_SOURCE_DIR WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "${v} is not set")
  endif()
endforeach()

set(failures)
set(compiler_args)
if(CXX)
  set(compiler_args "-DCMAKE_CXX_COMPILER=${CXX}")
endif()

# The compiler is examined once; every case starts from what was found.
set(probe "${WORK}/_probe")
file(REMOVE_RECURSE "${probe}")
file(WRITE "${probe}/CMakeLists.txt" "cmake_minimum_required(VERSION 3.22)\nproject(Probe LANGUAGES CXX)\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${probe}" -B "${probe}/build" ${compiler_args}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "A plain project does not configure:\n${out}")
endif()

# build_case(NAME EXPECT <regex, empty: must configure> [FOLDERS ...]
#            [CORE_LIBS ...] [REPORT_LIBS ...] [CORE_INCLUDE text] [CORE_HEADER_INCLUDE text] [EXTRA text]
#            [CORE_SOURCES ...] [CORE_EXTRA text] [MORE_FILES path ...])
# MORE_FILES are further files of the scratch tree, which no list names.
function(build_case name)
  cmake_parse_arguments(C "" "EXPECT;CORE_INCLUDE;CORE_HEADER_INCLUDE;REPORT_INCLUDE;EXTRA;CORE_EXTRA"
                        "FOLDERS;CORE_LIBS;REPORT_LIBS;CORE_SOURCES;MORE_FILES" ${ARGN})
  if(NOT C_FOLDERS)
    set(C_FOLDERS core report)
  endif()
  if(NOT C_CORE_SOURCES)
    set(C_CORE_SOURCES Core.cpp)
  endif()
  set(dir "${WORK}/${name}")
  file(REMOVE_RECURSE "${dir}")

  list(JOIN C_FOLDERS " " folders)
  file(WRITE "${dir}/CMakeLists.txt"
"cmake_minimum_required(VERSION 3.22)
project(Scratch LANGUAGES CXX)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets PrintSupport)
include(\"${KVR_SOURCE_DIR}/cmake/KvrHelpers.cmake\")
kvr_add_folders(${folders})
${C_EXTRA}
kvr_check_tree()
")
  list(JOIN C_CORE_LIBS " " core_libs)
  list(JOIN C_CORE_SOURCES " " core_sources)
  file(WRITE "${dir}/core/CMakeLists.txt"
       "kvr_folder(core SOURCES ${core_sources} UI_SOURCES ui/Screen.cpp\n"
       "  LOGIC_LIBS Qt6::Gui ${core_libs} WIDGET_LIBS Qt6::Gui)\n${C_CORE_EXTRA}\n")
  file(WRITE "${dir}/core/Core.h" "#pragma once\n#include <QString>\n${C_CORE_HEADER_INCLUDE}\nQString coreName();\n")
  file(WRITE "${dir}/core/Core.cpp" "#include \"core/Core.h\"\n${C_CORE_INCLUDE}\nQString coreName() { return QString(); }\n")
  file(WRITE "${dir}/core/ui/Screen.h" "#pragma once\n#include <QWidget>\nQWidget *makeScreen();\n")
  file(WRITE "${dir}/core/ui/Screen.cpp" "#include \"core/ui/Screen.h\"\n#include <QPushButton>\nQWidget *makeScreen() { return new QPushButton; }\n")
  list(JOIN C_REPORT_LIBS " " report_libs)
  file(WRITE "${dir}/report/CMakeLists.txt" "kvr_folder(report SOURCES Report.cpp LOGIC_LIBS kvr_core ${report_libs})\n")
  file(WRITE "${dir}/report/Report.cpp" "#include \"core/Core.h\"\n${C_REPORT_INCLUDE}\n")
  file(WRITE "${dir}/tool.cpp" "int main() { return 0; }\n")
  foreach(f ${C_MORE_FILES})
    file(WRITE "${dir}/${f}" "// not listed\n")
  endforeach()

  file(COPY "${probe}/build/CMakeFiles/${CMAKE_VERSION}" DESTINATION "${dir}/build/CMakeFiles")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${dir}" -B "${dir}/build" ${compiler_args}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(text "${out}${err}")
  # Messages are wrapped at spaces; compare them on one line.
  string(REGEX REPLACE "[ \t\r\n]+" " " flat "${text}")
  set(problem)
  if("${C_EXPECT}" STREQUAL "")
    if(NOT rc EQUAL 0)
      set(problem "should configure but failed:\n${text}")
    endif()
  elseif(rc EQUAL 0)
    set(problem "configured, but should have stopped with /${C_EXPECT}/")
  elseif(NOT flat MATCHES "${C_EXPECT}")
    set(problem "stopped, but without /${C_EXPECT}/:\n${text}")
  endif()
  if(problem)
    set(failures ${failures} "${name}: ${problem}" PARENT_SCOPE)
    message(STATUS "FAIL ${name}")
  else()
    file(REMOVE_RECURSE "${dir}")
    message(STATUS "PASS ${name}")
  endif()
endfunction()

# Sound trees: widgets in a screen library, Qt Gui in logic, a tool that
# links the shared settings.
build_case(clean EXPECT "")
build_case(gui_headers_in_logic EXPECT ""
  CORE_INCLUDE "#include <QImage>\n#include <QAction>\n#include <QtGui/QPainter>\n// #include \"core/ui/Screen.h\" (a comment)")
build_case(tool_with_settings EXPECT ""
  EXTRA "add_executable(tool tool.cpp)\ntarget_link_libraries(tool PRIVATE kvr_settings kvr_report)")

# Names and folders that do not exist.
build_case(misspelt_library EXPECT "Folder report links 'kvr_cor', which is no library of this build"
  REPORT_LIBS kvr_cor)
build_case(library_of_a_later_folder EXPECT "Folder core links 'kvr_report', which is no library"
  CORE_LIBS kvr_report)
build_case(misspelt_library_of_a_tool EXPECT "tool links 'kvr_reprt', which is no library of this build"
  EXTRA "add_executable(tool tool.cpp)\ntarget_link_libraries(tool PRIVATE kvr_settings kvr_reprt)")
build_case(missing_folder EXPECT "Folder 'absent' is listed in .* does not exist"
  FOLDERS core report absent)
build_case(target_without_settings EXPECT "tool does not link kvr_settings"
  EXTRA "add_executable(tool tool.cpp)")

# Source files: each is listed by a target, or said to be left out.
build_case(forgotten_source EXPECT "core/Extra.cpp is listed by no target: add it to a target's sources in core/CMakeLists.txt"
  MORE_FILES core/Extra.cpp)
build_case(forgotten_screen EXPECT "core/ui/Panel.cpp is listed by no target: add it to a target's sources in core/CMakeLists.txt"
  MORE_FILES core/ui/Panel.cpp)
build_case(forgotten_file_below_a_folder EXPECT "report/tools/make.cpp is listed by no target: add it to a target's sources in report/CMakeLists.txt"
  MORE_FILES report/tools/make.cpp)
build_case(forgotten_header EXPECT "core/Texts.h is listed by no target"
  MORE_FILES core/Texts.h)
build_case(header_listed EXPECT "" CORE_SOURCES Core.cpp Texts.h
  MORE_FILES core/Texts.h)
build_case(source_left_out_on_purpose EXPECT ""
  MORE_FILES core/Optional.cpp CORE_EXTRA "kvr_sources_not_built(Optional.cpp)")
build_case(listed_source_missing EXPECT "Folder core lists 'Gone.cpp', but .*/core/Gone.cpp does not exist"
  CORE_SOURCES Core.cpp Gone.cpp)
build_case(screen_in_logic_sources EXPECT "Folder core lists the screen file 'ui/Screen.cpp' in SOURCES; it belongs in UI_SOURCES"
  CORE_SOURCES Core.cpp ui/Screen.cpp)

# Logic libraries that reach Qt Widgets.
build_case(widgets_linked_directly EXPECT "kvr_core is a logic library but links Qt Widgets: kvr_core -> Qt6::Widgets"
  CORE_LIBS Qt6::Widgets)
build_case(widgets_linked_privately EXPECT "kvr_core is a logic library but links Qt Widgets: kvr_core -> Qt6::Widgets"
  EXTRA "target_link_libraries(kvr_core PRIVATE Qt6::Widgets)")
build_case(widgets_through_a_screen_library EXPECT "kvr_report is a logic library but links Qt Widgets: kvr_report -> kvr_core_ui -> Qt6::Widgets"
  REPORT_LIBS kvr_core_ui)
build_case(widgets_through_qt EXPECT "kvr_report is a logic library but links Qt Widgets: kvr_report -> Qt6::PrintSupport -> Qt6::Widgets"
  REPORT_LIBS Qt6::PrintSupport)
build_case(widgets_through_a_link_interface EXPECT "kvr_report is a logic library but links Qt Widgets: kvr_report -> kvr_core -> Qt6::Widgets"
  EXTRA "target_link_libraries(kvr_core INTERFACE Qt6::Widgets)")

# Logic sources that include screen or widget headers.
build_case(screen_header EXPECT "kvr_core: .*/core/Core.cpp includes the screen header \"core/ui/Screen.h\""
  CORE_INCLUDE "#include \"core/ui/Screen.h\"")
build_case(screen_header_in_the_header_beside EXPECT "kvr_core: .*/core/Core.h includes the screen header \"core/ui/Screen.h\""
  CORE_HEADER_INCLUDE "#include \"core/ui/Screen.h\"")
build_case(screen_header_of_another_folder EXPECT "kvr_report: .*/report/Report.cpp includes the screen header \"core/ui/Screen.h\""
  REPORT_INCLUDE "  #  include \"core/ui/Screen.h\"")
build_case(widget_header_by_class EXPECT "kvr_core: .*/core/Core.cpp includes the Qt Widgets header <QMessageBox>"
  CORE_INCLUDE "#include <QMessageBox>")
build_case(widget_header_by_file EXPECT "includes the Qt Widgets header <qpushbutton.h>"
  CORE_INCLUDE "#include <qpushbutton.h>")
build_case(widget_header_by_module EXPECT "includes the Qt Widgets header <QtWidgets/QWidget>"
  CORE_INCLUDE "#include <QtWidgets/QWidget>")
build_case(widget_module_whole EXPECT "includes the Qt Widgets header <QtWidgets>"
  CORE_INCLUDE "#include <QtWidgets>")

file(REMOVE_RECURSE "${probe}")
if(failures)
  list(JOIN failures "\n\n" text)
  message(FATAL_ERROR "${text}")
endif()
