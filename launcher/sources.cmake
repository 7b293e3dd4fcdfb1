list(APPEND VT_PORTABLE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
list(APPEND VT_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/account.cpp
    ${CMAKE_CURRENT_LIST_DIR}/faithful_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installation_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/launch_sequence.cpp
    ${CMAKE_CURRENT_LIST_DIR}/process_start.cpp)
