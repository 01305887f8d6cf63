# The plug-in module of the editor's 64-bit generation: kest_output.auo2, an
# x86-64 DLL with the C and C++ runtimes linked in, the core unchanged, the
# host-facing code of src/plugin2/ and the settings dialog's template.
file(GLOB KEST_MODULE2_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/plugin2/*.cpp)
file(GLOB KEST_MODULE2_RESOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/settings/*.rc)
enable_language(RC)

add_library(kest_output2 SHARED
  ${KEST_MODULE2_SOURCES}
  ${PROJECT_SOURCE_DIR}/src/plugin2/kest_output2.def
  ${KEST_MODULE2_RESOURCES})
set_target_properties(kest_output2 PROPERTIES
  PREFIX ""
  OUTPUT_NAME kest_output
  SUFFIX ".auo2"
  LINKER_LANGUAGE CXX)
target_include_directories(kest_output2 PRIVATE ${PROJECT_SOURCE_DIR}/src)
# The sources spell their Japanese texts in UTF-8.
target_compile_options(kest_output2 PRIVATE ${KEST_WARNINGS} -finput-charset=UTF-8)
target_link_libraries(kest_output2 PRIVATE kest_core -static -static-libgcc -static-libstdc++)
target_link_options(kest_output2 PRIVATE -s)
target_link_libraries(kest_output2 PRIVATE comctl32 user32)

# GCC keeps the stack of Windows x64 at 16-byte alignment, and its aligned
# AVX spills to it fault: every vector move is made unaligned, which costs
# nothing on processors with AVX.
target_compile_options(kest_core PRIVATE -Wa,-muse-unaligned-vector-move)
target_compile_options(kest_output2 PRIVATE -Wa,-muse-unaligned-vector-move)
