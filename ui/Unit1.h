#pragma once
// The main window: patient entry, the three models' concentrations, the
// infusion rate, the case buttons, the clocks and the data-file indicator.
// The layout lives in Unit1.cpp; the case handlers live in tracking/.

#include "CaseHistory.h"
#include "CaseTimeline.h"
#include "DataFile.h"
#include "PharmacokineticEngine.h"
#include "SaveDialog.h"
#include "TextFormats.h"
#include "TrayIcon.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CasePanel;
class JournalKeeper;
namespace sedalyn {
struct CaseJournal;
}
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TThreadedTimer;
class TForm2;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // `locale` is the system's, read once at start; tests pass others, and
    // a file layer of their own for the data file.
    explicit TForm1(const sedalyn::LocaleSettings& locale, QWidget* parent = nullptr,
                    FileSystem& files = FileSystem::System());
    ~TForm1() override;

    // Labels on the window.
    QLabel* Label3 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* DataFileOpenLabel = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* BMIlabel = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Infratelabel = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    // Focusable controls, in tab order.
    QLineEdit* AgeEdit = nullptr;
    QLineEdit* HeightEdit = nullptr;
    QLineEdit* WeightEdit = nullptr;
    QPushButton* Genderbutton = nullptr;
    QPushButton* ConfirmPatient = nullptr;
    QLineEdit* InfRateEdit = nullptr;
    QPushButton* Changebutton = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* AbortButton = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QFrame* Panel1 = nullptr;
    QLineEdit* DataFileName = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // The concentration panel.
    QLabel* Label17 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Jameslabel = nullptr;
    QLabel* James1label = nullptr;
    QLabel* Humelabel = nullptr;
    QLabel* Hume1label = nullptr;
    QLabel* Hanlabel = nullptr;
    QLabel* Han1label = nullptr;

    // Beside the original layout: a line of warnings about the confirmed
    // patient, and the case panel with the trend chart, which the checkable
    // TrendButton shows, widening the window, or hides, returning it to its
    // original compact size.
    QLabel* WarningLabel = nullptr;
    QPushButton* TrendButton = nullptr;
    CasePanel* Side = nullptr;
    // Stays while the patient is confirmed; none after Abort.
    void ShowPatientWarnings(const std::vector<std::string>& warnings);

    // Components without a place on screen.
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    TThreadedTimer* Timer3 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;

    // Timer3's interval: one model step.
    static constexpr unsigned TickInterval = 5000;

    // The case (one per program run).
    sedalyn::Patient Patient;              // PatientAge, PatientHeight, PatientWeight
    double InfusionRate = 0.0;             // confirmed rate, mg/kg/hr
    int PendingRateChange = 0;             // 0 none, 1 text changed, 2 reminder due
    bool RateDeclined = false;             // the last confirmation's unusually high rate was declined
    sedalyn::PharmacokineticEngine Engine; // JamesModel, HumeModel, HanModel
    TDataFile DataFile;
    bool DataFileOpen = false;
    std::uint8_t LogTickCount = 0;
    sedalyn::DateTimeDays CaseStartTime = 0.0;
    bool DisclaimerShown = false;
    TTrayIconData TrayIconData;

    // The running case's steps and inputs by time, and its history.
    sedalyn::CaseTimeline Timeline;
    sedalyn::CaseHistory History;

    const sedalyn::LocaleSettings& Locale() const { return m_locale; }

    // The local date and time in days; tests replace it.
    std::function<sedalyn::DateTimeDays()> Now;
    // A monotonic clock in milliseconds, from which the case's clock counts;
    // tests replace it.
    std::function<std::int64_t()> MonotonicMs;
    // Milliseconds since Start on the monotonic clock.
    sedalyn::CaseClockMs CaseClock() const { return MonotonicMs() - m_caseClockOrigin; }
    // From Start until Abort.
    bool CaseRunning() const;
    // The wall clock in milliseconds since 1970 UTC; tests replace it.
    std::function<std::int64_t()> UtcMs;

    // The journal of the running case in `folder`, from which the case
    // carries on after a crash. None until this is called: the program calls
    // it at start; tests may.
    void UseJournal(const QString& folder, const std::string& whyNone = {});
    // Once the disclaimer is accepted: offers to resume a case that was
    // running when the program stopped, or says why a journal was set aside.
    void OfferResume();
    // Waits until the journal holds the case's last state.
    void FlushJournal();

    // The disclaimer window shown at the first show (start-up sets it).
    TForm2* Disclaimer = nullptr;

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
    void TrayIconCallback(int mouseEvent);

    // The case data file.
    void OpenDataFile();
    // The eight fields of a row standing for `time`: the rate box's text and
    // the models' concentrations as they are now.
    QStringList DataRowFields(sedalyn::DateTimeDays time, const QString& second) const;
    // Rows of eight fields, written whole in one go or not at all.
    void WriteDataRows(const std::vector<QStringList>& rows);
    void CloseDataFileOnAbort();
    void CloseDataFileOnClose();

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
    void NoteRateInUse();
    // The running case's state to the journal, or the journal gone once the
    // case has ended normally.
    void JournalCase();
    void EndJournal();
    void ResumeCase(const sedalyn::CaseJournal& journal);
    QString ClockText(std::int64_t utcMs) const;
    // The patient values shown as understood, locked, and the first
    // parameters built: a confirmation after its checks.
    void FreezePatient();
    QString RateLine(double rate) const;
    void CreateControls();
    void CreateSideArea();
    void BindHandlers();
    QString GeneralText(double value, int digits) const;

    sedalyn::LocaleSettings m_locale;
    std::int64_t m_caseClockOrigin = 0;
    std::int64_t m_caseStartUtcMs = 0;
    QString m_journalNotice; // said once the disclaimer is accepted
    std::unique_ptr<JournalKeeper> m_journal;
};
