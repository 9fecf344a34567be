# Runs lupdate over the program's texts into copies of the .ts files and fails when any message
# is unfinished: a text added to the code without its translations, or one left untranslated.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(failed "")
foreach(ts ${TS_FILES})
  get_filename_component(name ${ts} NAME)
  string(REGEX REPLACE "^lantorfm_(.*)\\.ts$" "\\1" lang ${name})
  file(COPY ${ts} DESTINATION ${WORK_DIR})
  execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete
      -source-language zh_CN -target-language ${lang}
      app controls platform/qt lyrics/CLrcWindow.h lyrics/CLrcWindow.cpp lyrics/CLrcQueryDlg.h lyrics/CLrcQueryDlg.cpp
      -ts ${WORK_DIR}/${name}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}")
  endif()
  file(STRINGS ${WORK_DIR}/${name} lines ENCODING UTF-8)
  set(source "")
  foreach(line IN LISTS lines)
    if(line MATCHES "<source>(.*)</source>")
      set(source "${CMAKE_MATCH_1}")
    elseif(line MATCHES "type=\"unfinished\"")
      string(APPEND failed "${name}: ${source}\n")
    endif()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "untranslated:\n${failed}")
endif()
