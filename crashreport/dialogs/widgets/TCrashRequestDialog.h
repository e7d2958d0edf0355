#pragma once
// The request for the steps that led to the error, after the detailed dialog.

#include "CrashShowStep.h"
#include "TCrashDialogBase.h"
#include "TCrashShowState.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace crashreport {

class TCrashRequestDialog : public TCrashDialogBase {
    Q_OBJECT
public:
    TCrashRequestDialog(const TCrashShowRequest &request, TCrashShowState &state, const TCrashDialogHooks &hooks,
                        QWidget *parent = nullptr);

private:
    TCrashShowState &m_state;
    QLabel *m_label;
    QPlainTextEdit *m_edit;
    QPushButton *m_ok;
};

} // namespace crashreport
