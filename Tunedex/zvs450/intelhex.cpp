#include "intelhex.h"

#include <QFile>

namespace {

void setError(QString *error, const std::string &text)
{
    if (error)
        *error = QString::fromLocal8Bit(text.c_str());
}

} // namespace

bool zvs450_ConvertIntelHex(const char *inputPath, const char *outputPath, unsigned int base, QString *error)
{
    std::string reason;
    const bool ok = zvs450_ConvertIntelHexFile(inputPath, outputPath, base, &reason);
    if (!ok)
        setError(error, reason);
    return ok;
}

QString zvs450_MakeTempFile()
{
    return QFile::decodeName(zvs450_MakeTempFilePath().c_str());
}

QString zvs450_ConvertIntelHexToTemp(const QString &inputPath, unsigned int base, QString *error)
{
    std::string reason;
    const std::string output =
        zvs450_ConvertIntelHexToTempFile(QFile::encodeName(inputPath).constData(), base, &reason);
    if (output.empty()) {
        setError(error, reason);
        return QString();
    }
    return QFile::decodeName(output.c_str());
}
