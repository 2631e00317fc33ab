// What assistive technology (AT-SPI on Linux) is told about the dialog controls.
#pragma once

// Makes check boxes and radio buttons reach assistive technology with their own roles and
// with an action that clicks them. Call once a QApplication exists; later calls do nothing.
void InstallButtonAccessibility();
