# Reproducible Windows builds: no build folder in the objects (file names that
# __FILE__ or debug data might carry are written relative to the tree), no link
# time stamp in the PE headers.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)

# The version resource of a DLL, compiled with the toolchain's windres. The
# resource compiler is driven directly so that none of the C++ options reach it.
if(NOT CMAKE_RC_COMPILER)
  string(REGEX REPLACE "g\\+\\+$" "windres" CMAKE_RC_COMPILER "${CMAKE_CXX_COMPILER}")
endif()

function(ats_add_version_resource target)
  set(source ${PROJECT_SOURCE_DIR}/plugin/version.rc)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.res.o)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${CMAKE_BINARY_DIR}/generated
            ${source} ${object}
    DEPENDS ${source} ${CMAKE_BINARY_DIR}/generated/product_version.h
    COMMENT "Version resource of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${object})
endfunction()
