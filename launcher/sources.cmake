list(APPEND VT_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/installation_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/launch_sequence.cpp)
