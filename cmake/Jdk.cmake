# The JDK the generated Java is compiled with, and the jni.h the generated C
# file includes: found once for the sample and the run-time tests.
find_program(MIVRA_JAVAC javac)
find_program(MIVRA_JAR jar)
set(jdk_hints /usr/lib/jvm/default-java/include)
if(MIVRA_JAVAC)
  get_filename_component(javac_real ${MIVRA_JAVAC} REALPATH)
  get_filename_component(jdk_home ${javac_real} DIRECTORY)
  get_filename_component(jdk_home ${jdk_home} DIRECTORY)
  list(PREPEND jdk_hints ${jdk_home}/include)
endif()
find_path(MIVRA_JNI_INCLUDE jni.h HINTS ${jdk_hints} NO_DEFAULT_PATH)
