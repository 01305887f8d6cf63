# What a user downloads: the module with a short Japanese read-me, the
# dialog's picture and one of the six reductions (packaging/reduction_picture.cpp
# makes it), zipped; for the 64-bit module as a package the editor
# installs by itself (package.ini and package.txt at the root, the module
# under Plugin/).
set(KEST_VERSION 0.97)
set(KEST_PACKAGE_SOURCE ${PROJECT_SOURCE_DIR}/packaging)

# Text files of the package: the version put in, UTF-8 throughout (the
# read-mes begin with a byte-order mark, so that older editors know it).
function(kest_package_text template output)
  file(READ ${template} text)
  string(CONFIGURE "${text}" text @ONLY)
  foreach(extra IN LISTS ARGN)
    file(READ ${extra} more)
    string(APPEND text "${more}")
  endforeach()
  # Windows line ends, for every editor a user may open them in.
  file(GENERATE OUTPUT ${output} CONTENT "${text}" NEWLINE_STYLE CRLF)
endfunction()

# zip: staging folder, then the files to put in, named relative to it.
function(kest_zip target zip stage)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${ARGN}
    WORKING_DIRECTORY ${stage}
    DEPENDS ${KEST_PACKAGE_FILES}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${zip})
endfunction()

if(TARGET kest_output2)
  set(stage ${CMAKE_BINARY_DIR}/package/au2pkg)
  set(KEST_PLUGIN_INFORMATION "KEST (KEST-V3.0/4.0) 出力 version ${KEST_VERSION} (64-bit)")
  kest_package_text(${KEST_PACKAGE_SOURCE}/package.ini.in ${stage}/package.ini)
  kest_package_text(${KEST_PACKAGE_SOURCE}/package.txt ${stage}/package.txt)
  kest_package_text(${KEST_PACKAGE_SOURCE}/readme-auo2.txt.in ${stage}/README-ja.txt ${KEST_PACKAGE_SOURCE}/readme-common.txt)
  add_custom_command(OUTPUT ${stage}/Plugin/kest_output.auo2 ${stage}/config-dialog.png ${stage}/reductions.png
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kest_output2> ${stage}/Plugin/kest_output.auo2
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/config-dialog-64.png ${stage}/config-dialog.png
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/reductions.png ${stage}/reductions.png
    DEPENDS kest_output2 ${PROJECT_SOURCE_DIR}/docs/config-dialog-64.png ${PROJECT_SOURCE_DIR}/docs/reductions.png
    VERBATIM)
  set(KEST_PACKAGE_FILES ${stage}/Plugin/kest_output.auo2 ${stage}/config-dialog.png ${stage}/reductions.png
                         ${stage}/package.ini ${stage}/package.txt ${stage}/README-ja.txt)
  kest_zip(kest_output_au2pkg ${CMAKE_BINARY_DIR}/kest_output.au2pkg.zip ${stage}
           package.ini package.txt README-ja.txt config-dialog.png reductions.png Plugin/kest_output.auo2)
endif()

if(TARGET kest_output)
  set(stage ${CMAKE_BINARY_DIR}/package/auo)
  kest_package_text(${KEST_PACKAGE_SOURCE}/readme-auo.txt.in ${stage}/README-ja.txt ${KEST_PACKAGE_SOURCE}/readme-common.txt)
  add_custom_command(OUTPUT ${stage}/kest_output.auo ${stage}/config-dialog.png ${stage}/reductions.png
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kest_output> ${stage}/kest_output.auo
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/config-dialog.png ${stage}/config-dialog.png
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/reductions.png ${stage}/reductions.png
    DEPENDS kest_output ${PROJECT_SOURCE_DIR}/docs/config-dialog.png ${PROJECT_SOURCE_DIR}/docs/reductions.png
    VERBATIM)
  set(KEST_PACKAGE_FILES ${stage}/kest_output.auo ${stage}/config-dialog.png ${stage}/reductions.png
                         ${stage}/README-ja.txt)
  kest_zip(kest_output_auo_zip ${CMAKE_BINARY_DIR}/kest_output_auo.zip ${stage}
           README-ja.txt config-dialog.png reductions.png kest_output.auo)
endif()
