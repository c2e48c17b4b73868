#pragma once
// The main window: it shows the running case (sedalyn::CaseSession) and
// passes the user's actions on to it. The case decides what is true; the
// window decides how to show it and asks the user what the case asks.

#include "CaseSession.h"
#include "TrayIcon.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class CasePanel;
class QFrame;
class QMessageBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class SideDock;
class TForm2;
class TSaveDialog;
class TThreadedTimer;

// The key code of Enter as the key handlers receive it.
inline constexpr char16_t EnterKey = 13;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // A case on the system's clocks in `locale`, the system's, read once at start.
    explicit TForm1(const sedalyn::LocaleSettings& locale, QWidget* parent = nullptr);
    // A case of the caller's (tests give one on fake clocks).
    explicit TForm1(std::unique_ptr<sedalyn::CaseSession> session, QWidget* parent = nullptr);
    ~TForm1() override;

    QLabel* Label3 = nullptr;            // title
    QLabel* Label20 = nullptr;           // "Predictions only: watch the patient."
    QLabel* Label4 = nullptr;            // model line
    QLabel* Label11 = nullptr;           // "Age (y)"
    QLabel* Label6 = nullptr;            // "Height (m)"
    QLabel* Label7 = nullptr;            // "Weight( kg)"
    QLabel* Label8 = nullptr;            // James lean body mass
    QLabel* Label10 = nullptr;           // Janmahasatian lean body mass
    QLabel* DataFileOpenLabel = nullptr; // "Data file open:"
    QLabel* Label9 = nullptr;            // Hume lean body mass
    QLabel* BMIlabel = nullptr;          // body-mass index
    QLabel* Label5 = nullptr;            // "Set rate ( mg/kg/hr )"
    QLabel* Infratelabel = nullptr;      // the rate in use
    QLabel* Label18 = nullptr;           // elapsed time
    QLabel* Label1 = nullptr;            // date
    QLabel* Label2 = nullptr;            // time of day

    // Focusable controls, in tab order.
    QLineEdit* AgeEdit = nullptr;
    QLineEdit* HeightEdit = nullptr;
    QLineEdit* WeightEdit = nullptr;
    QPushButton* Genderbutton = nullptr;   // "Male" / "Female"
    QPushButton* ConfirmPatient = nullptr; // "Confirm patient"
    QLineEdit* InfRateEdit = nullptr;      // the rate being typed
    QPushButton* Changebutton = nullptr;   // "Confirm Rate Change"
    QPushButton* StartButton = nullptr;    // "Start"
    QPushButton* AbortButton = nullptr;    // "Abort"
    QPushButton* BitBtn3 = nullptr;        // Close
    QFrame* Panel1 = nullptr;              // the concentration panel
    QLineEdit* DataFileName = nullptr;     // the data file's path
    QPushButton* BitBtn1 = nullptr;        // Help

    // On the concentration panel.
    QLabel* Label17 = nullptr;     // "Predicted concentrations"
    QLabel* Label15 = nullptr;     // "Plasma"
    QLabel* Label16 = nullptr;     // "Effect"
    QLabel* Label19 = nullptr;     // "( mcg / ml )"
    QLabel* Label12 = nullptr;     // "James"
    QLabel* Label13 = nullptr;     // "Hume"
    QLabel* Label14 = nullptr;     // "Janmahasation"
    QLabel* Jameslabel = nullptr;  // James plasma
    QLabel* James1label = nullptr; // James effect site
    QLabel* Humelabel = nullptr;   // Hume plasma
    QLabel* Hume1label = nullptr;  // Hume effect site
    QLabel* Hanlabel = nullptr;    // Janmahasatian plasma
    QLabel* Han1label = nullptr;   // Janmahasatian effect site

    // Beside the original layout.
    QLabel* WarningLabel = nullptr;  // reasons to read the patient's numbers with care
    QWidget* WarningRow = nullptr;   // the warning with its icon, above the side panel
    QLabel* NoDataFileLabel = nullptr; // where the data file's name would stand: none is kept
    QPushButton* TrendButton = nullptr; // shows or hides the panel, widening the window
    CasePanel* Side = nullptr;       // bolus, wake-up times, dose, trend chart
    SideDock* Dock = nullptr;        // places the side panel and the window on the screen

    QTimer* Timer1 = nullptr;          // the clock, every second
    QTimer* Timer2 = nullptr;          // the elapsed time, every second of a case
    TThreadedTimer* Timer3 = nullptr;  // the model step, every 5 seconds of a case
    TSaveDialog* SaveDialog1 = nullptr; // the data file's name
    TForm2* Disclaimer = nullptr;       // shown at the first show (start-up sets it)

    sedalyn::CaseSession& Session() { return *m_case; }
    const sedalyn::CaseSession& Session() const { return *m_case; }
    bool CaseRunning() const { return m_case->Running(); }

    // The tray icon's record, filled at creation.
    const TTrayIconData& TrayIconData() const { return m_trayIconData; }
    // Set once the first show has put up the disclaimer.
    bool DisclaimerShown() const { return m_disclaimerShown; }
    void SetDisclaimerShown(bool shown) { m_disclaimerShown = shown; }

    // Once the disclaimer is accepted: offers to resume a case that was
    // running when the program stopped, or says why a journal was set aside.
    void OfferResume();

    // Handlers. Key handlers take the typed character and may replace it
    // with 0 to consume it.
    void init();
    void onshow();
    void OnClose();
    void AgeEnterClick(QObject* Sender, char16_t& Key);
    void HeightEnterClick(QObject* Sender, char16_t& Key);
    void weightEnterClick(QObject* Sender, char16_t& Key);
    void GenderbuttonClick(QObject* Sender);
    void ConfirmPatientClick(QObject* Sender);
    void InfRateEditChange(QObject* Sender);
    void InfRateEditKeyPress(QObject* Sender, char16_t& Key);
    void ChangebuttonClick(QObject* Sender);
    void StartButtonClick(QObject* Sender);
    void AbortButtonClick(QObject* Sender);
    void BitBtn3Click(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void Timer2Timer(QObject* Sender);
    void Timer3Timer(QObject* Sender);
    Q_INVOKABLE void TrayIconCallback(int mouseEvent);
    void OpenDataFile();
    void InitiateTrayIconData(TTrayIconData& data, const QIcon& icon, const QString& tip);

signals:
    // The window has closed through its close path; the program ends here
    // and nowhere else.
    void Closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateSideArea();
    void BindHandlers();
    void ConfirmRateFrom(sedalyn::RateSource source);
    void PresentRate(sedalyn::RateOutcome outcome, sedalyn::RateSource source);
    void Remind(const QString& text);
    void SayLater(QPointer<QMessageBox>& box, const QString& text);
    void ShowPatient(const sedalyn::PatientTexts& shown);
    void ShowConcentrations(const std::array<QString, sedalyn::ConcentrationCount>& texts);
    void ShowDataFile();
    void EnablePatientEntry();

    std::unique_ptr<sedalyn::CaseSession> m_case;
    // The boxes a tick raises, one of each kind: they never hold the tick.
    QPointer<QMessageBox> m_reminder;
    QPointer<QMessageBox> m_fileBox;
    QPointer<QMessageBox> m_journalBox;
    TTrayIconData m_trayIconData;
    bool m_disclaimerShown = false;
};
