// The program's folder and its handler of errors that nothing else handles.
#include "MessageBoxAnswerer.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <gtest/gtest.h>

#include <stdexcept>

TEST(ProgramFolder, IsTheArgumentOrTheProgramsFolderAbsoluteWithOneTrailingSlash)
{
    const QString current = QDir::currentPath();
    struct Case {
        QStringList arguments;
        QString executableFolder;
        QString expected;
    };
    const Case cases[] = {
        { { "vetu-config" }, "/media/stick", "/media/stick/" },
        { { "vetu-config", "/media/VETU" }, "/opt/vetu", "/media/VETU/" },
        { { "vetu-config", "/media/VETU/" }, "/opt/vetu", "/media/VETU/" },
        { { "vetu-config", "device" }, "/opt/vetu", current + "/device/" },
        { { "vetu-config", "./a/../b" }, "/opt/vetu", current + "/b/" },
        { { "vetu-config", "/" }, "/opt/vetu", "/" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(vetu::ProgramFolderFromArguments(c.arguments, c.executableFolder), c.expected)
            << c.arguments.join(' ').toStdString();
}

namespace
{

class Throwing : public QObject
{
public:
    int handled = 0;
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("Unable to write to /media/VETU/Configuration.ini");
        ++handled;
        return QObject::event(event);
    }
};

} // namespace

TEST(VetuApplication, AnErrorLeavingAnEventHandlerIsShownAndTheProgramGoesOn)
{
    MessageBoxAnswerer boxes;
    boxes.answer(QMessageBox::Ok);
    Throwing receiver;
    QEvent failing(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &failing));
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Unable to write to /media/VETU/Configuration.ini"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QEvent next(static_cast<QEvent::Type>(QEvent::User + 1));
    QCoreApplication::sendEvent(&receiver, &next);
    EXPECT_EQ(receiver.handled, 1);
}
