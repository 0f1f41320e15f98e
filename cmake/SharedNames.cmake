# The names and ids other programs find the program's windows by, written once: the setup closes a
# running copy through the main window's "Çıkış" button and tells the splash by its name label, a
# second start hands over to the running copy, tests and scripts find the windows. They never
# change. Read by the C++ build (generated/shared_names.h: portable/window_classes.h and
# ui/control_ids.h), the installer (installer/config.nsh) and scripts/lib.sh (window_class).
set(DVA_CLASS_MAIN "Form1")
set(DVA_CLASS_DETECTIONS "Form2")
set(DVA_CLASS_ABOUT "Form3")
set(DVA_CLASS_SUPPORT "Form4")
set(DVA_CLASS_AGREEMENT "Form5")
set(DVA_CLASS_SPLASH "frmSplash")
set(DVA_ID_MAIN_EXIT 113)          # the main window's "Çıkış"
set(DVA_ID_SPLASH_NAME 302)        # the splash's label with the product's name

configure_file(${CMAKE_CURRENT_LIST_DIR}/shared_names.h.in ${CMAKE_BINARY_DIR}/generated/shared_names.h @ONLY)
