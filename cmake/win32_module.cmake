# The plug-in module the editor loads: kest_output.auo, a 32-bit DLL with the
# C and C++ runtimes linked in and one undecorated export from the .def file.
file(GLOB KEST_MODULE_RESOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*/*.rc)
if(KEST_MODULE_RESOURCES)
  enable_language(RC)
endif()

add_library(kest_output SHARED
  ${PROJECT_SOURCE_DIR}/src/plugin/kest_output.def
  ${KEST_MODULE_RESOURCES})
set_target_properties(kest_output PROPERTIES
  PREFIX ""
  OUTPUT_NAME kest_output
  SUFFIX ".auo"
  LINKER_LANGUAGE CXX)
# The whole core goes in: the table pulls in the rest, but the linker must
# not drop the export's object file.
target_link_libraries(kest_output PRIVATE
  -Wl,--whole-archive kest_core -Wl,--no-whole-archive
  -static -static-libgcc -static-libstdc++)
target_link_options(kest_output PRIVATE -Wl,--enable-stdcall-fixup -s)
# The settings dialog: dialog functions and the trackbar's common controls.
target_link_libraries(kest_output PRIVATE comctl32 user32)
