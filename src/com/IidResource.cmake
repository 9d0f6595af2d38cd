# Writes the resource script of _IID_LINEPROBECOM from the interface id in the IDL:
# a little-endian length 16, then the 16 bytes of the GUID.
#   cmake -DIDL=comlineprobe.idl -DOUTPUT=iid_resource.rc -P IidResource.cmake
file(READ ${IDL} idl)
string(REGEX MATCH "uuid\\(([0-9A-Fa-f-]+)\\)[^]]*\\][ \t\r\n]*interface[ \t\r\n]+_lineprobeCom" match "${idl}")
if(NOT match)
    message(FATAL_ERROR "no interface id of _lineprobeCom in ${IDL}")
endif()
string(REGEX MATCH "^([0-9A-Fa-f]+)-([0-9A-Fa-f]+)-([0-9A-Fa-f]+)-([0-9A-Fa-f][0-9A-Fa-f])([0-9A-Fa-f][0-9A-Fa-f])-([0-9A-Fa-f]+)$"
       parts "${CMAKE_MATCH_1}")
if(NOT parts)
    message(FATAL_ERROR "malformed interface id ${CMAKE_MATCH_1}")
endif()
set(data1 ${CMAKE_MATCH_1})
set(data2 ${CMAKE_MATCH_2})
set(data3 ${CMAKE_MATCH_3})
set(tail "${CMAKE_MATCH_4}${CMAKE_MATCH_5}${CMAKE_MATCH_6}")
# Resource data items are little-endian WORDs and DWORDs; Data4 is a byte array,
# so each WORD takes its two bytes swapped.
set(words "")
foreach(i RANGE 0 12 4)
    string(SUBSTRING "${tail}" ${i} 2 low)
    math(EXPR j "${i} + 2")
    string(SUBSTRING "${tail}" ${j} 2 high)
    string(APPEND words ", 0x${high}${low}")
endforeach()
file(WRITE ${OUTPUT} "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL\n1 _IID_LINEPROBECOM\nBEGIN\n    16L, 0x${data1}L, 0x${data2}, 0x${data3}${words}\nEND\n")
