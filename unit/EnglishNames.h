#pragma once

#include <QString>

// English names beside the module's Chinese ones, from the console's English catalogue.

// The English of a register name of the register map (registers 0 to 83).
QString EnglishRegisterName(const char* name);
// The English of a configuration setting's label.
QString EnglishSettingLabel(const char* label);
