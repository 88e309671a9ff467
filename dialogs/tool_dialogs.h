#pragma once
// Plugs the information-block page and the adapter tool dialogs into the main window's menu
// and the IC page's Dump button.
void InstallToolDialogs();
