# The benchmark's own peers: the floor client and an app that answers at once. Both speak
# plain POSIX sockets; the benchmark runs on Linux only.
if(NOT WIN32)
  enable_language(C)
  add_executable(floor_client ${CMAKE_CURRENT_LIST_DIR}/floor_client.c)
  add_executable(answer_server ${CMAKE_CURRENT_LIST_DIR}/answer_server.c)
  set_target_properties(floor_client answer_server PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
endif()
