#include "UnexpectedError.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <stdexcept>

namespace vetu
{

QString UnexpectedErrorMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return QStringLiteral("An unexpected error occurred.");
}

namespace
{
    UnexpectedErrorHandler installedHandler = nullptr;
}

void SetUnexpectedErrorHandler(UnexpectedErrorHandler handler)
{
    installedHandler = handler;
}

void ReportUnexpectedError(std::exception_ptr error)
{
    if (installedHandler) {
        installedHandler(error);
        return;
    }
    ShowUnexpectedErrorBox(error);
}

void ShowUnexpectedErrorBox(std::exception_ptr error)
{
    const QString message = UnexpectedErrorMessage(error);
    // A failure while telling the user must not raise another error.
    try {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Vetu"), message, QMessageBox::Ok,
            QApplication::activeWindow());
        // The message carries paths from the device's drive: never let Qt read them as markup.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } catch (...) {
    }
}

} // namespace vetu
