// What assistive technology (AT-SPI on Linux) is told about the dialog controls.
#pragma once

// Makes every radio button reach assistive technology as a radio button whose press
// action is a click. Call once a QApplication exists; later calls do nothing.
void InstallRadioButtonAccessibility();
