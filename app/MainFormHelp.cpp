#include "MainForm.h"

#include "HelpOpener.h"
#include "InfoForm.h"
#include "OnlineHelp.h"
#include "TextTable.h"

void TMainForm::OnlineHelpMenuItemClick()
{
    if (!m_helpOpener) {
        if (!m_desktopHelpOpener)
            m_desktopHelpOpener = std::make_unique<vetu::DesktopHelpOpener>();
        m_helpOpener = m_desktopHelpOpener.get();
    }
    // A missing help file is the desktop's to report; the program says nothing of its own.
    vetu::OpenOnlineHelp(ProgramFolder, LanguageOffset, *m_helpOpener);
}

void TMainForm::InfoMenuItemClick()
{
    // A fresh dialog each time, translated into the language of the moment.
    TInfoForm::ShowModal(this);
}

void TMainForm::setHelpOpener(vetu::HelpOpener *opener)
{
    m_helpOpener = opener;
}
