# ZARNCAP.DLL, the driver Windows users install, reaches the camera through the
# kernel port device. ZARNCAP_SIM.DLL is the same DLL with the virtual camera as
# its port device, for machines (and Wine) without the kernel device. Both
# export DriverProc alone, through the module definition file.
get_property(zarn_objects GLOBAL PROPERTY ZARN_SHARED_OBJECTS)
list(APPEND zarn_objects $<TARGET_OBJECTS:zarn_platform_win32_objects>)

# Each DLL's resource script (dialogs, icon, version block) comes from the one
# table of dialogs, src/ui/dialog_resources.py.
function(zarn_driver_dll target name)
  set(rc ${ZARN_GENERATED}/${name}/${name}.rc)
  add_custom_command(OUTPUT ${rc} ${ZARN_GENERATED}/${name}/zarncap.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZARN_GENERATED}/${name}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/src/ui/dialog_resources.py --rc ${rc}
            --ico ${ZARN_GENERATED}/${name}/zarncap.ico --version ${PROJECT_VERSION} --name ${name}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/dialog_resources.py ${CMAKE_SOURCE_DIR}/include/zarncap/dialogs.h VERBATIM)
  add_library(${target} SHARED ${zarn_objects} ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/zarncap.def ${rc})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "" SUFFIX ".DLL")
  target_link_libraries(${target} PRIVATE winmm version gdi32 user32 kernel32)
  target_link_options(${target} PRIVATE -static -Wl,--enable-stdcall-fixup)
endfunction()

add_library(zarn_port_kernel OBJECT src/platform/win32/port_device_kernel.cpp)
target_include_directories(zarn_port_kernel PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(zarn_port_kernel PRIVATE ${ZARNCAP_WARNINGS})

zarn_driver_dll(zarncap_dll ZARNCAP $<TARGET_OBJECTS:zarn_port_kernel>)
zarn_driver_dll(zarncap_sim_dll ZARNCAP_SIM $<TARGET_OBJECTS:zarn_port_registry>
                $<TARGET_OBJECTS:zarn_sim_objects>)

# The entry point's calling convention and the DLLs' surface, checked at every link.
find_program(ZARN_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(ZARN_NM i686-w64-mingw32-nm REQUIRED)
foreach(dll zarncap_dll zarncap_sim_dll)
  add_custom_command(TARGET ${dll} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${ZARN_OBJDUMP} -DNM=${ZARN_NM} -DDLL=$<TARGET_FILE:${dll}>
            -DENTRY_OBJECT=${CMAKE_BINARY_DIR}/CMakeFiles/zarn_driver_objects.dir/src/driver/driver_proc.cpp.obj
            -P ${CMAKE_SOURCE_DIR}/cmake/check_dll.cmake
    VERBATIM)
endforeach()
