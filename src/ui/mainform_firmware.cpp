// The "USB firmware" and "FPGA firmware" pages.
#include "mainform.h"

void MainForm::openFPGADialog() {}

void MainForm::openEEPROMDialog() {}

void MainForm::openControllerDialog() {}

void MainForm::loadFPGA() {}

void MainForm::loadController() {}

void MainForm::flashEEPROM() {}

void MainForm::flashEEPROMWorker() {}
