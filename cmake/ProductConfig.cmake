# Product configuration: every address and name the program shows or opens, in one place.
# Each is a cache entry, so a build can override it (-DDVA_SUPPORT_HOST=127.0.0.1:8080).
set(DVA_HOME_PAGE "http://www.dravonil.com/" CACHE STRING "Product home page (about text and link)")
set(DVA_SUPPORT_SCHEME "https" CACHE STRING "Scheme of the online support page (https; http only for a local test server)")
set(DVA_SUPPORT_HOST "www.dravonil.com" CACHE STRING "Host (and optional :port) of the online support page")
set(DVA_AUTHOR "Dravonil" CACHE STRING "Author named in the about text")
set(DVA_TESTER "Dravonil Test Ekibi" CACHE STRING "Beta tester named in the about text")
set(DVA_CONTACT "destek@dravonil.com" CACHE STRING "Instant-messaging contact address in the about text")
set(DVA_COMPANY "Dravonil" CACHE STRING "Maker's name in the version block")
set(DVA_COPYRIGHT "Copyright (C) 2009 Dravonil" CACHE STRING "Legal notice in the version block")

# The product's name: the main window's caption, the program file's name, the icon's tip, the
# caption of the run-time error report and the base of the names a running copy is found by. Not
# a cache entry: the installer, installed copies and other programs know the program by it.
set(DVA_PRODUCT_NAME "Dravonil Veriz Avize")

configure_file(${CMAKE_CURRENT_LIST_DIR}/product_config.h.in ${CMAKE_BINARY_DIR}/generated/product_config.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
