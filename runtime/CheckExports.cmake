# cmake -DHEADER=h -DLIBRARY=dll -DOBJDUMP=objdump -P CheckExports.cmake
# Fails when the DLL lacks a native that the javac -h header declares.
file(STRINGS ${HEADER} declarations REGEX "JNICALL Java_")
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE exports RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
foreach(line ${declarations})
  string(REGEX MATCH "Java_[A-Za-z0-9_]+" name "${line}")
  string(REGEX MATCH "\\] ${name}\n" found "${exports}")
  if(NOT found)
    message(FATAL_ERROR "${LIBRARY} lacks the native ${name} that the Java half declares")
  endif()
endforeach()
