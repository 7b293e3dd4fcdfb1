list(APPEND VT_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/connections.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_defaults.cpp)
