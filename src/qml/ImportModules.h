#pragma once

#include <QtQml/qqmlextensionplugin.h>

// The QML modules are static: a program with windows includes this once, in its main file.
Q_IMPORT_QML_PLUGIN(LumoraDesignPlugin)
Q_IMPORT_QML_PLUGIN(LumoraStatePlugin)
Q_IMPORT_QML_PLUGIN(LumoraAccountPlugin)
Q_IMPORT_QML_PLUGIN(LumoraConversationsPlugin)
Q_IMPORT_QML_PLUGIN(LumoraPlugin)
