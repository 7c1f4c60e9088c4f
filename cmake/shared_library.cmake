# libzarncap.so: the driver with its port-device backends: the virtual camera
# and the parallel port over libieee1284.
get_property(zarn_objects GLOBAL PROPERTY ZARN_SHARED_OBJECTS)
add_library(zarncap SHARED cmake/empty.cpp ${zarn_objects})
target_include_directories(zarncap PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
target_link_libraries(zarncap PRIVATE Threads::Threads ${CMAKE_DL_LIBS} Ieee1284::ieee1284)
set_target_properties(zarncap PROPERTIES OUTPUT_NAME zarncap LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/zarncap.map)
target_link_options(zarncap PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/zarncap.map)
