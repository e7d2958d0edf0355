#pragma once

#include <QString>

class QWidget;

namespace vetu {

// Where the clean-up sends its messages; each call waits until the user has seen the text.
class CleanupMessages {
public:
    virtual ~CleanupMessages() = default;
    virtual void show(const QString &text) = 0;
};

// Shows each message in a modal QMessageBox titled "Vetu" with one OK button.
class QtCleanupMessages : public CleanupMessages {
public:
    explicit QtCleanupMessages(QWidget *parent = nullptr);
    void show(const QString &text) override;

private:
    QWidget *m_parent;
};

// Removes "MicrosoftPowerPoint.exe", "NETSVCS.EXE" and "autorun.inf" (files only) from
// programFolder and empties and removes its folder "Recycled". Names are matched without
// regard to letter case; symbolic links are removed as links and never followed. Every
// entry that cannot be removed is reported through messages; nothing is thrown.
void RemoveInfectedFiles(const QString &programFolder, CleanupMessages &messages);

} // namespace vetu
