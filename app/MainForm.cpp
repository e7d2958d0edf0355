#include "MainForm.h"

#include "EquationSet.h"
#include "GeneralSettings.h"
#include "HelpOpener.h"
#include "IniFile.h"
#include "LanguageSelectionForm.h"
#include "RadioGroup.h"
#include "Translator.h"
#include "UnexpectedError.h"
#include "WidgetDesign.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>

TMainForm::TMainForm(const QString &programFolder, QWidget *parent)
    : QMainWindow(parent)
    , ProgramFolder(programFolder)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Application Software for Vetu"));
    // The window speaks the desktop's font; the controls are placed in design pixels (made
    // for a font of 11 pixels) and fitted to the font and the captions by fitLayout().
    move(390, 176);
    resize(677, 659);

    buildMenus();

    // On a screen too small for the window, the content scrolls instead of being cut off.
    auto *scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("ClientScrollArea"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(false);
    // Not a stop of its own for Tab; it still scrolls the control that Tab reaches into view.
    scroller->setFocusPolicy(Qt::NoFocus);
    m_clientArea = new QWidget;
    m_clientArea->setObjectName(QStringLiteral("ClientArea"));
    scroller->setWidget(m_clientArea);
    setCentralWidget(scroller);
    PageControl1 = new QTabWidget(m_clientArea);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    vetu::SetDesignGeometry(PageControl1, { 8, 8, 644, 577 });

    GeneralTabSheet = new QWidget;
    GeneralTabSheet->setObjectName(QStringLiteral("GeneralTabSheet"));
    GeneralTabSheet->setProperty(TagProperty, 6);
    PageControl1->addTab(GeneralTabSheet, QStringLiteral("General Settings"));
    VelocityTabSheet = new QWidget;
    VelocityTabSheet->setObjectName(QStringLiteral("VelocityTabSheet"));
    VelocityTabSheet->setProperty(TagProperty, 7);
    PageControl1->addTab(VelocityTabSheet, QStringLiteral("Velocity Measuring"));

    buildGeneralPage();
    buildVelocityPage();
    connectHandlers();
    fitLayout();

    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    File1->setProperty(TagProperty, 2);
    File1->menuAction()->setObjectName(QStringLiteral("File1"));
    File1->menuAction()->setProperty(TagProperty, 2);
    Exit1 = File1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Exit1->setProperty(TagProperty, 3);

    Help1 = menuBar()->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->setProperty(TagProperty, 4);
    Help1->menuAction()->setObjectName(QStringLiteral("Help1"));
    Help1->menuAction()->setProperty(TagProperty, 4);
    OnlineHelpMenuItem = Help1->addAction(QStringLiteral("Online Help"));
    OnlineHelpMenuItem->setObjectName(QStringLiteral("OnlineHelpMenuItem"));
    OnlineHelpMenuItem->setProperty(TagProperty, 91);
    InfoMenuItem = Help1->addAction(QStringLiteral("Info"));
    InfoMenuItem->setObjectName(QStringLiteral("InfoMenuItem"));
    InfoMenuItem->setProperty(TagProperty, 5);
}

void TMainForm::connectHandlers()
{
    using vetu::Guarded;
    connect(Exit1, &QAction::triggered, this, Guarded([this] { Exit1Click(); }));

    QComboBox *const lists[] = { DefaultMeasuringModeComboBox, TimeComboBox, PulsesComboBox,
        RemainingTermComboBox, BuzzerModeComboBox, PulsePrecisionComboBox, BuzzerVolumeComboBox,
        VelocityCurrentMeterComboBox, GroundFeelerModeComboBox, AutoShutDownPeriodComboBox };
    // activated: only the user's choices mark the page changed, never the program's.
    for (QComboBox *list : lists)
        connect(list, &QComboBox::activated, this,
            Guarded([this, list](int) { DefaultMeasuringModeComboBoxChange(list); }));
    connect(SaveGeneralSettingsButton, &QPushButton::clicked, this,
        Guarded([this] { SaveGeneralSettingsButtonClick(); }));

    QLineEdit *const fields[]
        = { NameEdit, BodyNrEdit, PropellerNrEdit, Boundary1Edit, Boundary2Edit, Boundary3Edit, Factor1Edit,
              Factor2Edit, Factor3Edit, Factor4Edit, Offset1Edit, Offset2Edit, Offset3Edit, Offset4Edit };
    // textChanged: loading a set into the fields runs the handler as typing does.
    for (QLineEdit *field : fields)
        connect(field, &QLineEdit::textChanged, this,
            Guarded([this, field](const QString &) { NameEditChange(field); }));
    connect(SaveVelocitySettingsButton, &QPushButton::clicked, this,
        Guarded([this] { SaveVelocitySettingsButtonClick(); }));

    connect(ConfigListBox, &TListBox::Click, this, Guarded([this] { ConfigListBoxClick(); }));
    // Key filters of Boundary1Edit and Boundary3Edit, and the check on leaving any boundary field.
    for (QLineEdit *field : { Boundary1Edit, Boundary2Edit, Boundary3Edit })
        field->installEventFilter(this);
    connect(delbutton, &QPushButton::clicked, this, Guarded([this] { delbuttonClick(); }));
    connect(DeleteEntry1, &QAction::triggered, this, Guarded([this] { DeleteEntry1Click(); }));
    connect(PrintListButton, &QPushButton::clicked, this, Guarded([this] { PrintListButtonClick(); }));
    connect(OnlineHelpMenuItem, &QAction::triggered, this, Guarded([this] { OnlineHelpMenuItemClick(); }));
    connect(InfoMenuItem, &QAction::triggered, this, Guarded([this] { InfoMenuItemClick(); }));

    // The pop-up menu acts on the selected entry, which is the set shown in the editor:
    // a right click opens it without selecting the entry under the mouse.
    ConfigListBox->viewport()->installEventFilter(this);
    ConfigListBox->installEventFilter(this);
    connect(ConfigListBox, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &pos) { PopupMenu1->popup(ConfigListBox->viewport()->mapToGlobal(pos)); });
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (m_dropMousePress && dropMousePressEvent(event))
        return true;
    if (watched == Boundary1Edit || watched == Boundary2Edit || watched == Boundary3Edit)
        return boundaryFieldEvent(static_cast<QLineEdit *>(watched), event);
    if (watched == ConfigListBox && event->type() == QEvent::ContextMenu
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        // From the keyboard the menu opens at the selected entry, not wherever the mouse is.
        QRect entry;
        if (QListWidgetItem *item = ConfigListBox->currentItem())
            entry = ConfigListBox->visualItemRect(item);
        PopupMenu1->popup(ConfigListBox->viewport()->mapToGlobal(entry.isValid() ? entry.bottomLeft() : QPoint()));
        return true;
    }
    if (watched == ConfigListBox->viewport()) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
            || type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::RightButton || mouse->buttons() & Qt::RightButton)
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::setVisible(bool visible)
{
    // FormShow runs once, before the window first appears, as the window's own show
    // handler: the language question and the missing-device-file message come first,
    // and a start without device file ends without the window ever being shown.
    if (visible && !m_formShowDone && !isVisible()) {
        m_formShowDone = true;
        try {
            FormShow();
        } catch (...) {
            // A window that could not be filled is never shown: saving it would write
            // the lists' start-up selections over the device's settings.
            vetu::ReportUnexpectedError(std::current_exception());
            StartAborted = true;
        }
        if (StartAborted) {
            // Closing a window that was never shown: run the close handlers ourselves.
            QCloseEvent closing;
            closeEvent(&closing);
            return;
        }
    }
    const bool appearing = visible && !isVisible();
    QMainWindow::setVisible(visible);
    // Now that the window has a frame, the frame must fit on the screen too.
    if (appearing) {
        alignPagesToDevicePixels();
        fitToScreen(m_clientArea->size());
    }
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (m_formClosed) { // already closed once: nothing is left to save or release
        event->accept();
        return;
    }
    // Refuse first: an error raised while saving must leave the window open.
    event->ignore();
    bool mayClose = false;
    try {
        mayClose = FormCloseQuery();
    } catch (...) {
        vetu::ReportUnexpectedError(std::current_exception());
        return;
    }
    if (!mayClose)
        return;
    event->accept();
    m_formClosed = true;
    try {
        FormClose();
    } catch (...) {
        vetu::ReportUnexpectedError(std::current_exception());
    }
}
