#pragma once

#include "ListBox.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>

#include <array>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTextEdit;
class TLanguageSelectionForm;
class TRadioGroup;

namespace vetu
{
class HelpOpener;
class IniFile;
struct EquationSet;
struct GeneralSettingsSelection;
enum class EquationField;
} // namespace vetu

// The main window: the General Settings page (the device file) and the Velocity
// Measuring page (the equation sets of "Configuration.ini").
//
// The window's code is split by job:
//   MainForm.cpp                 construction, event plumbing
//   MainFormGeneralPage.cpp      controls of the General Settings page
//   MainFormVelocityPage.cpp     controls of the Velocity Measuring page
//   MainFormLifecycle.cpp        start-up, translation and closing
//   MainFormGeneralSettings.cpp  loading and saving the general settings
//   MainFormEquationSets.cpp     list, loading, saving and validating equation sets
//   MainFormEditor.cpp           choosing a set in the list, the boundary fields' checks and keys
//   MainFormDeletion.cpp         deleting a set
//   MainFormPrinting.cpp         printing the list of sets
//   MainFormHelp.cpp             online help and the Info dialog
//   MainFormLayout.cpp           fitting the layout to the font, the captions and the screen
// Controls are public members named after their objectName, as are the window's state
// fields, so that every part of the window (and the tests) address them by name.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    // programFolder: the device folder, with a trailing '/'.
    explicit TMainForm(const QString &programFolder, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Shown modally on the first start; created on demand when not set.
    TLanguageSelectionForm *LanguageSelectionForm = nullptr;

    // State of the window.
    QString ProgramFolder;
    std::unique_ptr<vetu::IniFile> ConfigurationIni; // open from FormShow to FormClose
    int CurrentEquationSet = 1;
    bool VelocitySettingsModified = false;
    bool GeneralSettingsModified = false;
    bool EquationSetsSaved = false;
    // True when FormShow found no usable device file: the window closed without showing.
    bool StartAborted = false;

    // Menus.
    QMenu *File1 = nullptr;
    QAction *Exit1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *OnlineHelpMenuItem = nullptr;
    QAction *InfoMenuItem = nullptr;

    QTabWidget *PageControl1 = nullptr;
    QWidget *GeneralTabSheet = nullptr;
    QWidget *VelocityTabSheet = nullptr;

    // General Settings page.
    QGroupBox *MeasuringModeGroupBox = nullptr;
    QLabel *Label19 = nullptr;
    QComboBox *DefaultMeasuringModeComboBox = nullptr;
    QGroupBox *PulseModeGroupBox = nullptr;
    QLabel *Label21 = nullptr;
    QComboBox *PulsesComboBox = nullptr;
    QGroupBox *TimeModeGroupBox = nullptr;
    QLabel *Label24 = nullptr;
    QComboBox *TimeComboBox = nullptr;
    QGroupBox *RemainingTermGroupBox = nullptr;
    QLabel *Label25 = nullptr;
    QComboBox *RemainingTermComboBox = nullptr;
    QGroupBox *GroundFeelerGroupBox = nullptr;
    QLabel *Label22 = nullptr;
    QComboBox *GroundFeelerModeComboBox = nullptr;
    QLabel *Label23 = nullptr;
    QComboBox *PulsePrecisionComboBox = nullptr;
    QGroupBox *VelocityGroupBox = nullptr;
    QLabel *Label20 = nullptr;
    QComboBox *VelocityCurrentMeterComboBox = nullptr;
    QGroupBox *BuzzerGroupBox = nullptr;
    QLabel *Label26 = nullptr;
    QComboBox *BuzzerModeComboBox = nullptr;
    QLabel *BuzzerVolumeLabel = nullptr;
    QComboBox *BuzzerVolumeComboBox = nullptr;
    QGroupBox *AutoShutDownGroupBox = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *AutoShutDownPeriodComboBox = nullptr;
    QLabel *Label27 = nullptr;
    QLabel *Label28 = nullptr;
    QPushButton *SaveGeneralSettingsButton = nullptr;

    // Velocity Measuring page.
    QLabel *Label1 = nullptr;
    TListBox *ConfigListBox = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *DeleteEntry1 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QLineEdit *NameEdit = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *BodyNrEdit = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *PropellerNrEdit = nullptr;
    TRadioGroup *TypeRadioGroup = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLineEdit *Boundary1Edit = nullptr;
    QLineEdit *Boundary2Edit = nullptr;
    QLineEdit *Boundary3Edit = nullptr;
    QLineEdit *Boundary1_Edit = nullptr;
    QLineEdit *Boundary2_Edit = nullptr;
    QLineEdit *Boundary3_Edit = nullptr;
    std::array<QLineEdit *, 4> FactorEdits {};
    std::array<QLineEdit *, 4> OffsetEdits {};
    QLineEdit *Factor1Edit = nullptr;
    QLineEdit *Factor2Edit = nullptr;
    QLineEdit *Factor3Edit = nullptr;
    QLineEdit *Factor4Edit = nullptr;
    QLineEdit *Offset1Edit = nullptr;
    QLineEdit *Offset2Edit = nullptr;
    QLineEdit *Offset3Edit = nullptr;
    QLineEdit *Offset4Edit = nullptr;
    QPushButton *SaveVelocitySettingsButton = nullptr;
    QPushButton *delbutton = nullptr;
    QPushButton *PrintListButton = nullptr;
    QPushButton *ImportButton = nullptr;
    QTextEdit *RichEdit = nullptr;

    // Lifecycle (MainFormLifecycle.cpp).
    void FormCreate();
    void FormShow();
    bool FormCloseQuery(); // true: closing may go ahead
    void FormClose();
    void Exit1Click();
    void TranslateMainForm();

    // General settings (MainFormGeneralSettings.cpp).
    void LoadGeneralSettings();
    void SaveGeneralSettings();
    void SaveGeneralSettingsButtonClick();
    void DefaultMeasuringModeComboBoxChange(QComboBox *Sender);

    // Equation sets (MainFormEquationSets.cpp).
    void FillEquationList();
    void LoadEquationSet();
    void SaveEquationSet();
    void SaveVelocitySettingsButtonClick();
    void NameEditChange(QLineEdit *Sender);
    bool ValidateEquationSet();
    // The editor fields as one set, and the field that stands for a check's focus.
    vetu::EquationSet EditorEquationSet() const;
    QLineEdit *EditorField(vetu::EquationField field) const;

    // Choosing a set, and the boundary fields (MainFormEditor.cpp).
    void ConfigListBoxClick();
    void NameEditExit(QLineEdit *Sender);
    // Key-down filters of Boundary1Edit and Boundary3Edit: Key is the toolkit's key code of
    // a key press; when the field must not act on it, Key becomes 0 and the result is true.
    // The characters the key produces reach the field regardless.
    bool Boundary1EditKeyDown(int &Key);
    bool Boundary3EditKeyDown(int &Key);

    // Deletion (MainFormDeletion.cpp).
    void delbuttonClick();
    void DeleteEntry1Click();

    // Printing (MainFormPrinting.cpp).
    void PrintListButtonClick();

    // Help menu (MainFormHelp.cpp).
    void OnlineHelpMenuItemClick();
    void InfoMenuItemClick();
    // What opens the help file; nullptr restores the desktop's. Not owned.
    void setHelpOpener(vetu::HelpOpener *opener);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    // Lays the controls out for the font in use and the captions shown, and fits the
    // window into the screen (MainFormLayout.cpp).
    void fitLayout();
    void fitToScreen(const QSize &clientSize);
    void alignPagesToDevicePixels();
    void buildGeneralPage();
    void buildVelocityPage();
    void connectHandlers();
    vetu::GeneralSettingsSelection selectedGeneralSettings() const;
    void selectGeneralSettings(const vetu::GeneralSettingsSelection &selection);
    void updateBuzzerVolumeEnabled();
    // The check on leaving a boundary field; true when it failed (message shown, focus moved).
    bool refuseBadBoundaries();
    // The boundary fields' key filters and exit check; true when the event is consumed.
    bool boundaryFieldEvent(QLineEdit *field, QEvent *event);
    // After a failed exit check caused by a mouse press: that press is dropped.
    void dropPendingMousePress();
    bool dropMousePressEvent(QEvent *event);

    QWidget *m_clientArea = nullptr;
    QPoint m_pageOffset; // added to the positions of the pages' controls
    bool m_formShowDone = false;
    bool m_formClosed = false;
    bool m_boundaryCheckRunning = false;
    bool m_dropMousePress = false;
    std::unique_ptr<vetu::HelpOpener> m_desktopHelpOpener;
    vetu::HelpOpener *m_helpOpener = nullptr;
};
