# What `cmake --install` adds beside the three programs (each folder installs its own), and the
# Debian package `cpack -G DEB` makes of it all. The translations, the QML module and the icons the
# windows use are Qt resources inside the programs; only the desktop integration is installed here.
include(GNUInstallDirs)

# One application ID for the desktop file, the AppStream metainfo, the icon and
# QGuiApplication::setDesktopFileName in src/app/main.cpp.
set(LUMORA_APP_ID app.lumora.Lumora)
set(packaging ${CMAKE_CURRENT_LIST_DIR})
# The programs link only the system's libraries: no $ORIGIN/../lib search path, which
# qt_standard_project_setup gives every target.
set_target_properties(lumora lumora-cli lumora-devservice PROPERTIES INSTALL_RPATH "")
install(FILES ${packaging}/${LUMORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/${LUMORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/icons/hicolor/scalable/apps/${LUMORA_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The icons inside the programs (and the application icon's bubbles) are Lucide's: their licence asks
# for its notice in every copy.
install(FILES ${PROJECT_SOURCE_DIR}/src/qml/design/icons/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumora RENAME LICENSE.lucide)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VENDOR "Lumora developers")
set(CPACK_PACKAGE_CONTACT "Lumora developers <developers@lumora.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "light desktop messaging client")
set(CPACK_PACKAGE_DESCRIPTION "Lumora is a messaging client for one signed-in user that lives in
the system tray. The package also holds lumora-cli, the same client for the
terminal, and lumora-devservice, a reference messaging service with demo accounts.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps adds the libraries the programs link (Qt, QtKeychain, QCoro, Avahi, SQLite, libsodium…);
# what they load only at run time is listed by hand: the QML modules the screens import (and those
# QtQuick.Dialogs builds on), the SVG image plugin, and the fonts the typography names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-dialogs qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtqml-workerscript qml6-module-qt-labs-folderlistmodel qml6-module-qtcore
  libqt6svg6 fonts-noto-core fonts-noto-color-emoji)
# A Secret Service (or KWallet) keeps the session; the Avahi daemon serves the local mesh; the image
# plugins draw WebP pictures in the chat.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | libkf5wallet-bin, avahi-daemon, qt6-image-formats-plugins")
include(CPack)
