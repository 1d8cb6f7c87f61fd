#pragma once
// The Intel-hex conversion (intelhex_core.h) with Qt strings, for the program.

#include "intelhex_core.h"

#include <QString>

// As zvs450_ConvertIntelHexFile.
bool zvs450_ConvertIntelHex(const char *inputPath, const char *outputPath, unsigned int base,
                            QString *error = nullptr);

// As zvs450_MakeTempFilePath.
QString zvs450_MakeTempFile();

// As zvs450_ConvertIntelHexToTempFile.
QString zvs450_ConvertIntelHexToTemp(const QString &inputPath, unsigned int base, QString *error = nullptr);
