# Fails when FILE is larger than LIMIT bytes: cmake -DFILE=... -DLIMIT=... -P check_size.cmake
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${FILE} is ${size} bytes, over its budget of ${LIMIT}")
endif()
message(STATUS "${FILE}: ${size} bytes, budget ${LIMIT}")
