# mivra_widl(<target> <output-dir> <idl>...): compiles each IDL file into a
# type library <output-dir>/<name>.tlb with mingw-w64's widl, for tests that
# need small libraries of known content. Options in MIVRA_WIDL_OPTIONS (set by
# the caller, e.g. -L for importlib) are passed on to widl.
find_program(MIVRA_WIDL NAMES x86_64-w64-mingw32-widl i686-w64-mingw32-widl widl)
function(mivra_widl target outdir)
  set(outputs)
  foreach(idl ${ARGN})
    get_filename_component(name ${idl} NAME_WE)
    get_filename_component(idl_abs ${idl} ABSOLUTE)
    set(out ${outdir}/${name}.tlb)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
      COMMAND ${MIVRA_WIDL} ${MIVRA_WIDL_OPTIONS} -t -o ${out} ${idl_abs}
      DEPENDS ${idl_abs}
      COMMENT "widl ${name}.idl"
      VERBATIM)
    list(APPEND outputs ${out})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
