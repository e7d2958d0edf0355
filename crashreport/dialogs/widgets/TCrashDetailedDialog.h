#pragma once
// The detailed dialog: compact mode (the exception message beside the error mark, sized to its
// text) and detailed mode (text 4 and the tabs of the report's pages, resizable, its size and
// place kept in the settings file), the button row and the check boxes of DialogFlags.

#include "CrashDialogRules.h"
#include "CrashDialogSettings.h"
#include "TCrashDialogBase.h"
#include "TCrashShowState.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTabBar;

namespace crashreport {

class TCrashDetailedDialog : public TCrashDialogBase {
    Q_OBJECT
public:
    TCrashDetailedDialog(const TCrashShowRequest &request, TCrashShowState &state, const TCrashDialogHooks &hooks,
                         std::string settingsPath, QWidget *parent = nullptr);

    bool detailedMode() const { return m_detailed; }
    int bottomBand() const { return m_offer.bottomBand; }
    TCrashPage currentPage() const;
    QWidget *currentPageWidget() const { return m_page; }
    int buttonWidth() const { return m_buttonWidth; }

    void done(int result) override;

protected:
    void layoutClient() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setDetailed(bool detailed);
    void applyCompactSize();
    void applyDetailedPlacement();
    void showPage(int tabIndex);
    void dropPage();
    void savePlacement();
    void finish(int style, bool terminate);
    QRect workArea() const;

    const TCrashShowRequest &m_request;
    TCrashShowState &m_state;
    std::string m_settingsPath;
    TCrashDialogSettings m_settings;
    TCrashDialogOffer m_offer;
    std::vector<TCrashPage> m_tabs;
    bool m_detailed = false;
    bool m_finishing = false;
    int m_buttonWidth = 75;

    QLabel *m_icon;
    QLabel *m_message;
    QTabBar *m_tabBar;
    QWidget *m_page = nullptr;
    QPushButton *m_terminate;
    QPushButton *m_custom;
    QPushButton *m_ok;
    QPushButton *m_details;
    QCheckBox *m_send;
    QCheckBox *m_screenshot;
    QCheckBox *m_copy;
    QPushButton *m_support;
};

QString CrashQText(const TCrashShowRequest &request, int id);
QPixmap CrashErrorMark();

} // namespace crashreport
