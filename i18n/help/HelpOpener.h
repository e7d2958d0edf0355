#pragma once

#include <QString>

namespace vetu {

// Hands a file to the desktop, which opens it with the program associated with its type.
class HelpOpener {
public:
    virtual ~HelpOpener() = default;
    virtual void open(const QString &path) = 0;
};

// QDesktopServices::openUrl on the file (xdg-open on Linux); its result is not examined.
class DesktopHelpOpener : public HelpOpener {
public:
    void open(const QString &path) override;
};

} // namespace vetu
