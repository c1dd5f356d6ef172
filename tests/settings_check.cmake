# Runs the configure step's check of the order service's settings alone:
#   cmake -DSOURCE=<tree> -DPRIMARY=<url> -DSECONDARY=<url> -P settings_check.cmake
include(${SOURCE}/cmake/panel_settings.cmake)
panel_check_settings("${PRIMARY}" "${SECONDARY}" "")
message(STATUS "settings accepted")
