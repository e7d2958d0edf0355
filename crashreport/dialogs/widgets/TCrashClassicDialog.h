#pragma once
// The classic dialog: a white header band, the exception message, the Terminate/Restart box,
// the sending texts, the "click here." link to the detailed dialog, the steps to reproduce and
// the user's e-mail address, laid out top to bottom on a 413-pixel-wide client area.

#include "CrashDialogRules.h"
#include "TCrashDialogBase.h"
#include "TCrashShowState.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace crashreport {

class TCrashClassicDialog : public TCrashDialogBase {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 413;

    TCrashClassicDialog(const TCrashShowRequest &request, TCrashShowState &state, const TCrashDialogHooks &hooks,
                        std::string settingsPath, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void place();
    bool finish(int style, bool send);

    const TCrashShowRequest &m_request;
    TCrashShowState &m_state;
    std::string m_settingsPath;
    TCrashDialogOffer m_offer;
    bool m_finished = false;
    bool m_dontSend = false;

    QWidget *m_header;
    QLabel *m_message;
    QCheckBox *m_terminate;
    QLabel *m_sendTitle;
    QLabel *m_sendText;
    QLabel *m_linkText;
    QPushButton *m_link;
    QLabel *m_reproduceLabel;
    QPlainTextEdit *m_reproduce;
    QLabel *m_emailLabel;
    QLineEdit *m_email;
    QPushButton *m_custom;
    QPushButton *m_send;
    QPushButton *m_close;
};

} // namespace crashreport
