#pragma once

#include "scan/survey.h"

#include <QWidget>

#include <map>
#include <memory>

class BusChannel;
class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class QtTickTimer;
class TFormStorage;
class TRxSpinEdit;

// What the survey window needs of the main window: the one channel, the port
// number in use, and a way to open a found device as a search would.
class SurveyHost
{
public:
    virtual ~SurveyHost() = default;
    virtual BusChannel &channel() = 0;
    virtual int portNumber() const = 0;
    // Sets the connection parameters to the device's line and address, opens its
    // window as the search does and returns when it has closed.
    virtual void openSurveyed(const FoundDevice &found) = 0;
};

// "Обзор шины": every chosen device kind at every address of a range, at every
// chosen rate and parity, with a table of what answered. A window of its own
// (no owner), as the bus monitor, so it stays beside the device window it opens
// and is there again with its results when that window closes.
class TFSurvey : public QWidget
{
    Q_OBJECT
public:
    // `first` and `last`: the address range proposed until the user's own is stored.
    TFSurvey(SurveyHost &host, int first, int last, QWidget *parent = nullptr);
    ~TFSurvey() override;

    Survey &survey() { return *m_survey; }
    // "Component.Property" of every choice the settings file keeps.
    static QStringList storedProperties();
    Survey::Plan plan() const; // as the choices stand

    // Handlers, public so tests can drive them.
    void BitBtnStartClick();
    void BitBtnStopClick();
    void BitBtnOpenClick();
    void BitBtnSaveCsvClick();
    void GridHitsDoubleClick(int row);

    TFormStorage *FormStorage1;
    TRxSpinEdit *RxSpinEditFirst, *RxSpinEditLast, *RxSpinEditWait, *RxSpinEditRepeats;
    std::map<qint32, QCheckBox *> CheckBoxRates;    // "CheckBoxRate9600"
    std::map<TVaParity, QCheckBox *> CheckBoxParities; // "CheckBoxParityNone", "...Odd", "...Even"
    std::map<int, QCheckBox *> CheckBoxKinds;       // by tag: "CheckBoxKind1".."CheckBoxKind7"
    QCheckBox *CheckBoxStopFirst;
    QPushButton *BitBtnStart, *BitBtnStop, *BitBtnOpen, *BitBtnSaveCsv;
    QProgressBar *ProgressBar1;
    QLabel *StaticTextProgress, *StaticTextNotes;
    QTableWidget *GridHits;
    QTimer *TimerSurvey;
    QAction *ActionStop; // Ctrl+C

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUi(int first, int last);
    QWidget *buildChoices();
    void wireSurvey();
    void setRunning(bool running);
    void addRow(const SurveyHit &hit);
    void showProgress(const Survey::Progress &progress);
    void noteRefused(const LineSettings &line, const QString &reason);
    void onFinished(const Survey::End &end);
    void openRow(int row);

    SurveyHost &m_host;
    std::unique_ptr<QtTickTimer> m_ticks;
    std::unique_ptr<Survey> m_survey;
    QWidget *m_choices = nullptr;
    QStringList m_notes;
    qint64 m_startedMs = 0;
};

extern TFSurvey *FSurvey;
