# The order service's settings as a broker builds them into a panel, checked before anything is built:
# an endpoint of a scheme the panel does not speak, two endpoints of different schemes, or a pin that is no
# SHA-256 digest, fails the build.

function(panel_check_settings primary secondary pins)
  foreach(endpoint IN ITEMS "${primary}" "${secondary}")
    if(NOT endpoint MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?/[^ \"\\\\]*$")
      message(FATAL_ERROR "Endpoint \"${endpoint}\": give http:// or https://, a host, an optional port and a path")
    endif()
  endforeach()
  # An order that failed on one endpoint is sent again on the other: one https and one http would let
  # anyone on the path who resets the TLS connection have the order sent in clear.
  string(REGEX MATCH "^https?" primary_scheme "${primary}")
  string(REGEX MATCH "^https?" secondary_scheme "${secondary}")
  if(NOT primary_scheme STREQUAL secondary_scheme)
    message(FATAL_ERROR "Endpoints \"${primary}\" and \"${secondary}\": both http:// or both https://, never one of each")
  endif()
  string(REGEX REPLACE "[;, ]+" ";" pin_list "${pins}")
  foreach(pin IN LISTS pin_list)
    if(NOT pin STREQUAL "" AND NOT pin MATCHES "^[A-Za-z0-9+/]+=$")
      message(FATAL_ERROR "Pin \"${pin}\": give the base64 SHA-256 digest of a subject public key (44 characters)")
    endif()
    string(LENGTH "${pin}" pin_length)
    if(NOT pin STREQUAL "" AND NOT pin_length EQUAL 44)
      message(FATAL_ERROR "Pin \"${pin}\": a SHA-256 digest in base64 has 44 characters")
    endif()
  endforeach()
endfunction()

# An object library with the settings compiled in; link it into each program beside panel_core.
function(panel_settings_library name primary secondary pins)
  panel_check_settings("${primary}" "${secondary}" "${pins}")
  string(REGEX REPLACE "[;, ]+" " " pins_text "${pins}")
  add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/service/build_settings.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_BINARY_DIR}/layers/panel_service)
  target_compile_definitions(${name} PRIVATE PANEL_PRIMARY_ENDPOINT="${primary}"
                                             PANEL_SECONDARY_ENDPOINT="${secondary}" PANEL_TLS_PINS="${pins_text}")
endfunction()
