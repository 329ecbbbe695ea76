# Builds the sample JNI library jbrowse from the web-browser type library:
#   cmake -DMIVRA=... -DPREFIX=... -DOUT=... -DCC=... -DJAVAC=... -DJAR=...
#         -DJNI_INCLUDE=... -P BuildSample.cmake
# OUT/out receives the generated sources, OUT/jbrowse.dll the 32-bit library
# and OUT/jbrowse.jar the compiled classes.
foreach(var MIVRA PREFIX OUT CC JAVAC JAR JNI_INCLUDE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "BuildSample.cmake needs -D${var}=...")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

set(generated ${OUT}/out)
file(REMOVE_RECURSE ${generated} ${OUT}/classes ${OUT}/win32)
file(MAKE_DIRECTORY ${generated} ${OUT}/classes)
run(${MIVRA} generate -i ${PREFIX}/drive_c/windows/system32/shdocvw.dll -o ${generated}
    -p mvx.tutorial -l jbrowse.dll --registry ${PREFIX})

# The JDK brings no Windows jni_md.h; this is the one for 32-bit Windows.
file(WRITE ${OUT}/win32/jni_md.h
"#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_
#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall
typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;
#endif
")

# A 32-bit JVM looks a native up by its decorated standard-call name
# (_name@bytes) and by its plain name: export both. The argument bytes are
# 8 for env and this, 8 for each double or long, 4 for anything else.
file(READ ${generated}/jbrowse.c source)
string(REGEX MATCHALL "JNIEXPORT [a-z]+ JNICALL Java_[A-Za-z0-9_]+\n\t\\([^)]*\\)" heads "${source}")
set(def "LIBRARY jbrowse.dll\nEXPORTS\n")
foreach(head ${heads})
  string(REGEX REPLACE "^JNIEXPORT [a-z]+ JNICALL (Java_[A-Za-z0-9_]+)\n.*$" "\\1" name "${head}")
  string(REGEX REPLACE "^[^(]*\\(" "" params "${head}")
  string(REGEX MATCHALL "," commas "${params}")
  string(REGEX MATCHALL "jdouble|jlong" wide "${params}")
  list(LENGTH commas comma_count)
  list(LENGTH wide wide_count)
  math(EXPR bytes "(${comma_count} + 1) * 4 + ${wide_count} * 4")
  string(APPEND def "${name} = ${name}@${bytes}\n_${name}@${bytes} = ${name}@${bytes}\n")
endforeach()
file(WRITE ${OUT}/jbrowse.def "${def}")

run(${CC} -shared -O2 -w -I${OUT}/win32 -I${JNI_INCLUDE} -o ${OUT}/jbrowse.dll
    ${generated}/jbrowse.c ${OUT}/jbrowse.def -lole32 -loleaut32 -luuid)

file(GLOB java_sources ${generated}/*.java)
run(${JAVAC} -nowarn -encoding UTF-8 -d ${OUT}/classes ${java_sources})
run(${JAR} cf ${OUT}/jbrowse.jar -C ${OUT}/classes .)
