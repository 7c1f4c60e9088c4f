# Run after each driver DLL is linked: the entry point must be stdcall (the
# object holds _DriverProc@20; a cdecl DriverProc corrupts the caller's stack on
# Windows, silently under Wine), the DLL must export DriverProc and nothing
# else, and it may import only the system's own DLLs.
# Arguments: OBJDUMP, NM, DLL, ENTRY_OBJECT.
execute_process(COMMAND ${NM} ${ENTRY_OBJECT} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
if(NOT symbols MATCHES " T _DriverProc@20\n")
  message(FATAL_ERROR "${ENTRY_OBJECT}: DriverProc is not stdcall (no _DriverProc@20)")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
# The name table runs from its heading to the next blank line.
string(FIND "${headers}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${DLL}: exports nothing, expected DriverProc")
endif()
string(SUBSTRING "${headers}" ${start} -1 table)
string(FIND "${table}" "\n\n" end)
string(SUBSTRING "${table}" 0 ${end} table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${table}")
if(NOT exports MATCHES "^\\[ *0\\] DriverProc$")
  message(FATAL_ERROR "${DLL}: exports '${exports}', expected DriverProc alone")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(TOUPPER "${import}" import)
  if(NOT import MATCHES "^DLL NAME: (KERNEL32|USER32|GDI32|WINMM|VERSION|MSVCRT)\\.DLL$")
    message(FATAL_ERROR "${DLL}: imports ${import}, which is not a system DLL")
  endif()
endforeach()
