#include "TCrashClassicDialog.h"

#include "CrashDialogSettings.h"
#include "TCrashDetailedDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace crashreport {

namespace {

constexpr int ItemX = 8;
constexpr int ItemWidth = 397;

class HeaderBand : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

QLabel *plainLabel(QWidget *parent, const QString &text, const char *name, bool bold = false)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

} // namespace

TCrashClassicDialog::TCrashClassicDialog(const TCrashShowRequest &request, TCrashShowState &state,
                                         const TCrashDialogHooks &hooks, std::string settingsPath, QWidget *parent)
    : TCrashDialogBase(hooks, request.dialogCloseSeconds, parent), m_request(request), m_state(state),
      m_settingsPath(std::move(settingsPath)), m_offer(CrashDialogOffer(request))
{
    setObjectName("CR_MS_Dialog");
    setWindowTitle(CrashQText(request, 3));
    setTopMost(request.dialogFlags & dfTopMost);
    QWidget *c = client();

    m_header = new HeaderBand(c);
    m_header->setObjectName("HeaderBand");
    QLabel *headerText = plainLabel(m_header, CrashQText(request, 26), "HeaderText", true);
    headerText->setGeometry(8, 0, 356, 51);
    headerText->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    auto *icon = new QLabel(m_header);
    icon->setPixmap(CrashErrorMark());
    icon->setGeometry(372, 9, 32, 32);

    m_message = plainLabel(c, QString::fromStdString(request.exceptionMessage), "MessageLabel");
    m_terminate = new QCheckBox(CrashQText(request, request.terminateAction == 1 ? 28 : 27), c);
    m_terminate->setObjectName("TerminateCheckBox");
    m_sendTitle = plainLabel(c, CrashQText(request, 29), "SendTitle", true);
    m_sendText = plainLabel(c, CrashQText(request, 30), "SendText");
    m_linkText = plainLabel(c, CrashQText(request, 31), "LinkText");
    m_linkText->setWordWrap(false);
    m_link = new QPushButton(CrashQText(request, 32), c);
    m_link->setObjectName("ClickHereLink");
    m_link->setFlat(true);
    m_link->setAutoDefault(false);
    m_link->setCursor(Qt::PointingHandCursor);
    QFont linkFont = m_link->font();
    linkFont.setUnderline(true);
    m_link->setFont(linkFont);
    m_link->setStyleSheet("QPushButton { color: blue; border: none; text-align: left; padding: 0; }");
    m_reproduceLabel = plainLabel(c, CrashQText(request, 33), "ReproduceLabel");
    m_reproduce = new QPlainTextEdit(c);
    m_reproduce->setObjectName("ReproduceEdit");
    m_reproduce->setTabChangesFocus(true);
    m_reproduce->setPlainText(QString::fromStdString(state.reproduceText));
    m_emailLabel = plainLabel(c, CrashQText(request, 34), "EmailLabel");
    m_emailLabel->setWordWrap(false);
    m_email = new QLineEdit(c);
    m_email->setObjectName("EmailEdit");
    m_email->setText(QString::fromStdString(LoadCrashDialogSettings(m_settingsPath).email));

    m_custom = new QPushButton(CrashQText(request, 21), c);
    m_custom->setObjectName("CustomButton");
    m_send = new QPushButton(CrashQText(request, 35), c);
    m_send->setObjectName("SendButton");
    m_close = new QPushButton(CrashQText(request, m_offer.send && state.sendRequested ? 36 : 17), c);
    m_close->setObjectName("CloseButton");
    for (QPushButton *b : {m_custom, m_send, m_close})
        b->setAutoDefault(false);

    const bool sending = m_offer.send;
    m_terminate->setVisible(m_offer.terminate);
    m_sendTitle->setVisible(sending);
    m_sendText->setVisible(sending);
    m_linkText->setVisible(request.dialogFlags & dfShowDetails);
    m_link->setVisible(request.dialogFlags & dfShowDetails);
    const bool reproduce = request.logSections & 0x02;
    m_reproduceLabel->setVisible(reproduce);
    m_reproduce->setVisible(reproduce);
    m_emailLabel->setVisible(sending);
    m_email->setVisible(sending);
    m_custom->setVisible(request.dialogFlags & dfCustomButton);
    m_send->setVisible(sending);
    m_send->setEnabled(sending);
    QPushButton *defaultButton = sending ? m_send : m_close;
    defaultButton->setDefault(true);

    connect(m_send, &QPushButton::clicked, this, [this] { finish(0, true); });
    connect(m_close, &QPushButton::clicked, this, [this] {
        m_dontSend = true;
        if (!finish(0, false))
            m_dontSend = false;
    });
    connect(m_link, &QPushButton::clicked, this, [this] {
        resetIdle();
        if (finish(3, false))
            m_state.detailedForced = true;
    });
    connect(m_custom, &QPushButton::clicked, this, [this] {
        resetIdle();
        if (m_hooks.customButton && m_hooks.customButton())
            finish(0, false);
    });

    place();
    defaultButton->setFocus();
}

void TCrashClassicDialog::place()
{
    QWidget *c = client();
    auto heightOf = [](QWidget *w) {
        return w->hasHeightForWidth() ? w->heightForWidth(ItemWidth) : w->sizeHint().height();
    };
    m_header->setGeometry(0, 0, ClientWidth, 51);
    int y = 59;
    auto put = [&](QWidget *w, int gap) {
        y += gap;
        const int h = heightOf(w);
        w->setGeometry(ItemX, y, ItemWidth, h);
        y += h;
    };
    put(m_message, 0);
    if (m_terminate->isVisibleTo(this))
        put(m_terminate, 10);
    if (m_sendTitle->isVisibleTo(this)) {
        put(m_sendTitle, 10);
        put(m_sendText, 2);
    }
    if (m_link->isVisibleTo(this)) {
        y += 12;
        const int textWidth = m_linkText->sizeHint().width();
        const int h = std::max(m_linkText->sizeHint().height(), m_link->sizeHint().height());
        m_linkText->setGeometry(ItemX, y, textWidth, h);
        m_link->setGeometry(ItemX + textWidth + 4, y, m_link->sizeHint().width(), h);
        y += h;
    }
    if (m_reproduce->isVisibleTo(this)) {
        put(m_reproduceLabel, 12);
        y += 2;
        const int h = 8 * m_reproduce->frameWidth() + 4 * m_reproduce->fontMetrics().lineSpacing() + 8;
        m_reproduce->setGeometry(ItemX, y, ItemWidth, h);
        y += h;
    }
    if (m_email->isVisibleTo(this)) {
        y += 12;
        const int labelWidth = m_emailLabel->sizeHint().width();
        const int h = std::max(m_emailLabel->sizeHint().height(), m_email->sizeHint().height());
        m_emailLabel->setGeometry(ItemX, y, labelWidth, h);
        m_email->setGeometry(ItemX + labelWidth + 6, y, std::max(80, ItemWidth - labelWidth - 6), h);
        y += h;
    }
    y += 12;
    const int buttonHeight = std::max(25, m_close->sizeHint().height());
    auto buttonWidth = [](QPushButton *b) { return std::max(75, b->sizeHint().width()); };
    m_custom->setGeometry(ItemX, y, buttonWidth(m_custom), buttonHeight);
    const int closeWidth = buttonWidth(m_close);
    m_close->setGeometry(ClientWidth - ItemX - closeWidth, y, closeWidth, buttonHeight);
    const int sendWidth = buttonWidth(m_send);
    m_send->setGeometry(m_close->x() - 6 - sendWidth, y, sendWidth, buttonHeight);
    y += buttonHeight + 10;

    c->resize(ClientWidth, y);
    setClientSize(QSize(ClientWidth, y));
    setFixedSize(size());
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    }
}

bool TCrashClassicDialog::finish(int style, bool send)
{
    const std::string email = CrashTrim(m_email->text().toStdString());
    if (m_email->isVisibleTo(this)) {
        const TCrashEmailCheck check = CrashCheckEmail(email);
        if (check == TCrashEmailCheck::Invalid) {
            QMessageBox box(QMessageBox::Critical, CrashQText(m_request, 2), CrashQText(m_request, 157), QMessageBox::Ok, this);
            box.setTextFormat(Qt::PlainText);
            box.setObjectName("InvalidEmailBox");
            box.exec();
            m_email->setFocus();
            return false;
        }
        if (check == TCrashEmailCheck::Valid) {
            m_state.emailAddress = email;
            SaveCrashDialogEmail(m_settingsPath, email);
        }
    }
    if (send)
        m_state.sendRequested = true;
    else if (m_dontSend && m_offer.send)
        m_state.sendRequested = false; // "Don't Send"
    if (m_reproduce->isVisibleTo(this)) {
        m_state.reproduceText = CrashTrim(m_reproduce->toPlainText().toStdString());
        m_state.reproduceGiven = true;
    }
    if (!m_state.terminateRequested && m_terminate->isVisibleTo(this))
        m_state.terminateRequested = m_terminate->isChecked();
    m_state.style = style;
    m_finished = true;
    accept();
    return true;
}

void TCrashClassicDialog::closeEvent(QCloseEvent *event)
{
    // The close box finishes like a button; an invalid address keeps the dialog open.
    if (!m_finished && !finish(0, false)) {
        event->ignore();
        return;
    }
    TCrashDialogBase::closeEvent(event);
}

void TCrashClassicDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    TCrashDialogBase::keyPressEvent(event);
}

} // namespace crashreport
