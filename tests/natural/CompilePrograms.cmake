# Generates the full bindings of each library the programs use into its own
# package natural.<name>, then compiles them and the programs in one javac run.
set(libraries
  "msxml6.dll=xml" "scrrun.dll=scripting" "wshom.ocx=wshom" "wbemdisp.dll=wmi" "shell32.dll=shell"
  "vbscript.dll\\3=regexp" "taskschd.dll=tasks" "sapi.dll=sapi" "msado15.dll=ado")
file(REMOVE_RECURSE ${WORK})
set(sources)
foreach(entry ${libraries})
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 library)
  list(GET parts 1 name)
  execute_process(
    COMMAND ${MIVRA} generate --mapping full -i ${WINE_DLLS}/${library} -o ${WORK}/${name} -p natural.${name}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${library}: ${out}${err}")
  endif()
  file(GLOB generated ${WORK}/${name}/*.java)
  list(APPEND sources ${generated})
endforeach()
file(GLOB programs ${PROGRAMS}/*.java)
execute_process(
  COMMAND ${JAVAC} -Xlint:all -Werror -encoding UTF-8 -cp ${RUNTIME_JAR} -d ${WORK}/classes ${sources} ${programs}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "javac:\n${out}${err}")
endif()
