// The Options and Help menus.
#include "mainform.h"

void MainForm::expertModeChanged() {}

void MainForm::showAbout() {}
