#pragma once

#include <QValidator>

// Refuses input holding a character that Windows-1252 cannot hold, so that nothing
// typed or pasted into a field stored in the device files is changed on disk.
class Windows1252Validator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;
};
