#pragma once

#include "MainForm.h"
#include "MessageBoxAnswerer.h"
#include "TempDeviceFolder.h"

#include <QByteArray>

#include <ostream>
#include <QString>
#include <QStringList>

class QAbstractButton;
#include <gtest/gtest.h>

#include <memory>

// Test failures show texts as text.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

// The sample device file and a "Configuration.ini" with English chosen.
QByteArray SampleDeviceFile();
QByteArray EnglishConfigurationIni();

// Types text as key presses carrying the characters, whatever keyboard would produce them.
void TypeText(QWidget *widget, const QString &text);
// Clicks a radio button on its indicator, where a click always lands on the button.
void ClickRadioButton(QAbstractButton *button);

// Answers the language dialog, when it appears, by clicking item `item` and OK.
// item -1: close the dialog by its close box instead.
class LanguageDialogAnswerer : public QObject
{
public:
    explicit LanguageDialogAnswerer(int item);
    bool answered() const { return m_answered; }

private:
    void poll();
    int m_item;
    bool m_answered = false;
    QTimer m_timer;
};

// A device folder, the window on it and an answerer for its message boxes.
class MainFormTest : public ::testing::Test
{
protected:
    // Creates the window on the folder and shows it; FormShow runs before show() returns.
    void start();
    void TearDown() override;
    // Types text into a field through real key events (the field is cleared first).
    static void retype(QLineEdit *field, const QString &text);
    // Picks entry `index` of a list as the user does: opens the pop-up and chooses it.
    static void pick(QComboBox *list, int index);
    // Asks the window to close as its close box does; true when it closed.
    bool closeWindow();
    // Starts the window on these two files; the window must come up.
    void startWith(const QByteArray &deviceFile, const QByteArray &configurationIni);
    // Starts the window on the sample device file and this "Configuration.ini" and shows
    // the Velocity Measuring page.
    void startOnVelocityPage(const QByteArray &configurationIni);
    // Clicks entry `row` of the equation list with the left mouse button.
    void clickEntry(int row);
    // Activates the window again and returns the widget that then has the keyboard focus:
    // the offscreen platform gives the activation back to no window when a box closes.
    QWidget *focusOnceActive();
    QByteArray configurationIni() const { return device.readFile(QStringLiteral("Configuration.ini")); }

    TempDeviceFolder device;
    MessageBoxAnswerer boxes;
    std::unique_ptr<TMainForm> form;
};
