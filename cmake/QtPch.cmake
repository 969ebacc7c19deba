# Most of a source file's compile time is spent in headers it shares with its
# neighbours: Qt Widgets' for a window, Qt Core's for the archive and the
# settings, GoogleTest's for every test. Each target links one of a few shared
# precompiled headers, chosen by what it links (itself or through its
# libraries): Qt Widgets, else another Qt module, else nothing of Qt; with
# GoogleTest's header added for a target that links GoogleTest. Each is built
# once per build folder instead of parsed again for each source file.
# KR3090_PCH=OFF builds without them (to check that each file includes what it uses).
option(KR3090_PCH "Share precompiled headers of Qt's and GoogleTest's headers among the targets" ON)

set(kr3090_pch_std_headers <functional> <map> <memory> <optional> <string> <vector>)
set(kr3090_pch_widgets_headers
  <QApplication> <QComboBox> <QDir> <QFileInfo> <QHBoxLayout> <QHeaderView>
  <QLabel> <QLineEdit> <QMessageBox> <QPainter> <QPushButton> <QTableWidget>
  <QTimer> <QVBoxLayout>)
set(kr3090_pch_core_headers
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QString> <QStringList> <QVariant>)
set(kr3090_pch_gtest_headers <gtest/gtest.h>)

# True in `out` when `target` links a library named in the list `names`,
# itself or through the libraries it links. Answers are kept per target and list.
function(kr3090_links target key names out)
  get_property(known GLOBAL PROPERTY kr3090_pch_${key}_${target} SET)
  if(known)
    get_property(answer GLOBAL PROPERTY kr3090_pch_${key}_${target})
    set(${out} ${answer} PARENT_SCOPE)
    return()
  endif()
  # Marked first: a circle of libraries ends here.
  set_property(GLOBAL PROPERTY kr3090_pch_${key}_${target} FALSE)
  set(answer FALSE)
  get_target_property(libs ${target} LINK_LIBRARIES)
  foreach(lib IN LISTS libs)
    if(lib IN_LIST names)
      set(answer TRUE)
    elseif(TARGET ${lib} AND NOT lib MATCHES "^(Qt|GTest)")
      get_target_property(kind ${lib} TYPE)
      if(kind MATCHES "LIBRARY$")
        kr3090_links(${lib} ${key} "${names}" answer)
      endif()
    endif()
    if(answer)
      break()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY kr3090_pch_${key}_${target} ${answer})
  set(${out} ${answer} PARENT_SCOPE)
endfunction()

function(kr3090_targets_in dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    kr3090_targets_in(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The precompiled header of one family, made on first use: `qt` widgets, core
# or none, `gtest` TRUE or FALSE.
function(kr3090_pch_target qt gtest out)
  set(name kr3090_pch_${qt})
  if(gtest)
    set(name ${name}_gtest)
  endif()
  set(${out} ${name} PARENT_SCOPE)
  if(TARGET ${name})
    return()
  endif()
  add_library(${name} OBJECT ${CMAKE_SOURCE_DIR}/cmake/QtPch.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  set(headers ${kr3090_pch_std_headers})
  if(qt STREQUAL "widgets")
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
    list(APPEND headers ${kr3090_pch_widgets_headers})
  elseif(qt STREQUAL "core")
    target_link_libraries(${name} PRIVATE Qt6::Core)
    list(APPEND headers ${kr3090_pch_core_headers})
  endif()
  if(gtest)
    # Only tests link GoogleTest: their header is made as their code is compiled.
    target_link_libraries(${name} PRIVATE GTest::gtest)
    target_compile_options(${name} PRIVATE ${KR3090_TEST_COMPILE_OPTIONS})
    list(APPEND headers ${kr3090_pch_gtest_headers})
  endif()
  target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# Called once all targets exist.
function(kr3090_share_qt_pch)
  if(NOT KR3090_PCH OR NOT KR3090_BUILD_GUI)
    return()
  endif()
  kr3090_targets_in(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(kind ${target} TYPE)
    if(NOT kind MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(own ${target} PRECOMPILE_HEADERS)
    get_target_property(reused ${target} PRECOMPILE_HEADERS_REUSE_FROM)
    if(own OR reused)
      continue()
    endif()
    kr3090_links(${target} widgets "Qt6::Widgets;Qt::Widgets" widgets)
    kr3090_links(${target} qt "Qt6::Core;Qt6::Gui;Qt6::Sql;Qt6::PrintSupport;Qt6::Test;Qt6::Widgets"
                 any_qt)
    kr3090_links(${target} gtest "GTest::gtest;GTest::gtest_main;GTest::GTest;GTest::Main" gtest)
    if(widgets)
      set(qt widgets)
    elseif(any_qt)
      set(qt core)
    elseif(gtest)
      set(qt none)
    else()
      continue()  # the plain libraries parse little but the standard library
    endif()
    kr3090_pch_target(${qt} ${gtest} pch)
    target_precompile_headers(${target} REUSE_FROM ${pch})
  endforeach()
endfunction()
