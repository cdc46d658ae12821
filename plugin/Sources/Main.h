// The plug-in's spine: start-up, the menu and its commands, notifications, idle
// callbacks and unloading.
#pragma once

#include "Common/API.h"

// Life-cycle callbacks handed to the host by the handshake.
ASBool PluginExportHFTs();
ASBool PluginImportReplaceAndRegister();
ASBool PluginInit();
ASBool PluginUnload();

// Menu commands: the key of the item ("show", "new", "hotfolder", "preferences",
// "info", or the module name for the About item) is the client data.
void doMenuCommand(ASClientData key);
void doAbout();

// Idle callbacks.
void pluginIdle(ASClientData);
void settingsIdle(ASClientData);

// Document notifications.
void docDidOpen(const AVNotificationData* data, ASClientData);
void docWillSave(const AVNotificationData* data, ASClientData);

// The version shown and written by the plug-in.
#define kVexaVersionString "6.17"
