# Hostile-input robustness: truncations and bit flips, allocation failures,
# file-service faults and the memory bound. Included from tests/CMakeLists.txt.

set(ROBUST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/robustness)

# The corpus and the rig that loads a module under a stand-in host.
add_library(yafa_robust_support STATIC
  ${ROBUST_DIR}/anim_corpus.cpp
  ${ROBUST_DIR}/plugin_rig.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/yafa_builder.cpp)
target_include_directories(yafa_robust_support PUBLIC ${ROBUST_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(yafa_robust_support PUBLIC yafa_encode yafa_host yafa_core)

# A test variant of the module: the same objects, with every allocation of
# theirs going through the counting shim, which it exports beside the nine
# entry points. The shipped yafa.lvp is not touched.
add_library(yafa_plugin_counting MODULE
  ${PROJECT_SOURCE_DIR}/src/plugin/version_tag.c
  ${ROBUST_DIR}/alloc_shim.cpp
  $<TARGET_OBJECTS:yafa_objects>)
target_compile_definitions(yafa_plugin_counting PRIVATE YAFA_ALLOC_SHIM_ARMED=1)
target_compile_options(yafa_plugin_counting PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
set_target_properties(yafa_plugin_counting PROPERTIES
  PREFIX "" OUTPUT_NAME "yafa_counting" SUFFIX ".lvp"
  C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
target_link_options(yafa_plugin_counting PRIVATE
  -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free)

yafa_test(prefix_bitflip_tests SOURCES robustness/prefix_bitflip_test.cpp LIBS yafa_robust_support)
yafa_test(file_fault_tests SOURCES robustness/file_fault_test.cpp LIBS yafa_robust_support)
yafa_test(alloc_failure_tests SOURCES robustness/alloc_failure_test.cpp LIBS yafa_robust_support)
yafa_test(memory_bound_tests SOURCES robustness/memory_bound_test.cpp LIBS yafa_robust_support)
# The handle's layout and the geometry are taken from the decoder's headers.
target_link_libraries(memory_bound_tests PRIVATE yafa_core)
foreach(t alloc_failure_tests memory_bound_tests)
  target_compile_definitions(${t} PRIVATE YAFA_COUNTING_PLUGIN_PATH="$<TARGET_FILE:yafa_plugin_counting>")
  add_dependencies(${t} yafa_plugin_counting)
endforeach()
target_compile_definitions(memory_bound_tests PRIVATE YAFA_VECTORS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/vectors")
