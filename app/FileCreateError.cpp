#include "FileCreateError.h"

namespace vetu
{

FileCreateError::FileCreateError(const QString &path)
    : std::runtime_error((QStringLiteral("Cannot create file ") + path).toStdString())
    , m_path(path)
{
}

} // namespace vetu
