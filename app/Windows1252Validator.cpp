#include "Windows1252Validator.h"

#include "IniFile.h"

QValidator::State Windows1252Validator::validate(QString &input, int &) const
{
    return vetu::IsWindows1252Encodable(input) ? Acceptable : Invalid;
}
