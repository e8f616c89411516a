#include "FileNames.h"

#include "LosslessText.h"

#include <system_error>

std::filesystem::path fileSystemPath(const QString& name)
{
    return std::filesystem::path(bytesFromText(name).toStdString());
}

bool sameFile(const QString& a, const QString& b)
{
    std::error_code error;
    return std::filesystem::equivalent(fileSystemPath(a), fileSystemPath(b), error) && !error;
}
