#pragma once

#include <QString>

#include <stdexcept>

namespace vetu
{

// Raised when a file cannot be created anew; what() is "Cannot create file <full path>".
class FileCreateError : public std::runtime_error
{
public:
    explicit FileCreateError(const QString &path);
    QString path() const { return m_path; }

private:
    QString m_path;
};

} // namespace vetu
