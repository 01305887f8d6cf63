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
# Only what the editor calls goes in: the export's object is asked for by
# name, and it pulls in the entries of its table and what they use. The link
# map says which objects those are; the module tests read it.
target_link_libraries(kest_output PRIVATE kest_core -static -static-libgcc -static-libstdc++)
target_link_options(kest_output PRIVATE -Wl,--undefined=_GetOutputPluginTable -Wl,--enable-stdcall-fixup -s
                    -Wl,-Map=${CMAKE_BINARY_DIR}/kest_output.map)
# The settings dialog: dialog functions and the trackbar's common controls.
target_link_libraries(kest_output PRIVATE comctl32 user32)
