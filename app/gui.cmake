# The windows (Qt 6 Widgets) and the program `kivo`.
find_package(Qt6 REQUIRED COMPONENTS Widgets Network)

add_library(kivo_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Unit1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Unit2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apptitle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qtnotifywindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screenshots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/singlecopy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/termination.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winfont.cpp
)
set_target_properties(kivo_gui PROPERTIES AUTOMOC ON)
target_include_directories(kivo_gui PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kivo_gui PUBLIC kivo_core Qt6::Widgets Qt6::Network)

add_executable(kivo ${CMAKE_CURRENT_LIST_DIR}/Project1.cpp)
target_link_libraries(kivo PRIVATE kivo_gui)
