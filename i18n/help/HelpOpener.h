#pragma once

#include <QString>

namespace vetu {

// The desktop's side of opening a help file: whether it has a program for a file's type,
// and handing it a file to open with that program.
class HelpOpener {
public:
    virtual ~HelpOpener() = default;
    // True when the desktop names a program that opens files of this file's type.
    virtual bool hasViewer(const QString &path) = 0;
    // Asks the desktop to open path; when that fails and fallback is not empty, it is
    // asked to open fallback instead. Nothing is shown of the program's own.
    virtual void open(const QString &path, const QString &fallback) = 0;
};

// The freedesktop.org tools: "xdg-mime query default" for the viewer of a type, and
// "xdg-open" to open a file. A tool that is missing, fails or does not answer within a
// few seconds counts as no viewer and as a failed opening.
class DesktopHelpOpener : public HelpOpener {
public:
    bool hasViewer(const QString &path) override;
    void open(const QString &path, const QString &fallback) override;
};

} // namespace vetu
