#include "app/surveywindow.h"

#include "bus/buschannel.h"
#include "bus/linkfactory.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "settings/wholefile.h"
#include "scan/surveyexchange.h"
#include "scan/surveyreport.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

TFSurvey *FSurvey = nullptr;

TFSurvey::TFSurvey(SurveyHost &host, int first, int last, QWidget *parent)
    : QWidget(parent, Qt::Window), m_host(host)
{
    FSurvey = this;
    // The store comes first, so it outlives nothing it saves at destruction.
    FormStorage1 = new TFormStorage(this, 1, storedProperties(), true);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    connect(FormStorage1, &TFormStorage::saveFailed, this, [this](const QString &text) { showError(this, text); });
    buildUi(first, last);
    wireSurvey();
    setRunning(false);
}

TFSurvey::~TFSurvey()
{
    m_survey.reset(); // closes the channel if a survey is still running
    if (FSurvey == this)
        FSurvey = nullptr;
}

void TFSurvey::wireSurvey()
{
    m_ticks = std::make_unique<QtTickTimer>(*TimerSurvey);
    m_survey = std::make_unique<Survey>(m_host.channel(), *m_ticks);
    connect(m_survey.get(), &Survey::found, this, &TFSurvey::addRow);
    connect(m_survey.get(), &Survey::progressed, this, &TFSurvey::showProgress);
    connect(m_survey.get(), &Survey::lineRefused, this, &TFSurvey::noteRefused);
    connect(m_survey.get(), &Survey::finished, this, &TFSurvey::onFinished);

    connect(BitBtnStart, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnStartClick(); }); });
    connect(BitBtnStop, &QPushButton::clicked, this, [this] { BitBtnStopClick(); });
    connect(BitBtnOpen, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnOpenClick(); }); });
    connect(BitBtnSaveCsv, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSaveCsvClick(); }); });
    connect(ActionStop, &QAction::triggered, this, [this] { BitBtnStopClick(); });
    connect(GridHits, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { guarded(this, [this, row] { GridHitsDoubleClick(row); }); });
    connect(GridHits, &QTableWidget::itemSelectionChanged, this, [this] { setRunning(m_survey->isRunning()); });
}

Survey::Plan TFSurvey::plan() const
{
    Survey::Plan plan;
    plan.port = m_host.portNumber();
    plan.first = RxSpinEditFirst->IntValue();
    plan.last = RxSpinEditLast->IntValue();
    for (const auto &[rate, box] : CheckBoxRates)
        if (box->isChecked())
            plan.rates << rate;
    for (const auto &[parity, box] : CheckBoxParities)
        if (box->isChecked())
            plan.parities << parity;
    for (const auto &[tag, box] : CheckBoxKinds)
        if (box->isChecked())
            plan.tags << tag;
    plan.waitMs = RxSpinEditWait->IntValue();
    plan.repeats = RxSpinEditRepeats->IntValue();
    plan.stopAtFirst = CheckBoxStopFirst->isChecked();
    return plan;
}

void TFSurvey::setRunning(bool running)
{
    m_choices->setEnabled(!running);
    BitBtnStart->setEnabled(!running);
    BitBtnStop->setEnabled(running);
    BitBtnOpen->setEnabled(!running && GridHits->currentRow() >= 0);
    BitBtnSaveCsv->setEnabled(!running && GridHits->rowCount() > 0);
}

void TFSurvey::BitBtnStartClick()
{
    if (m_survey->isRunning())
        return;
    const Survey::Plan chosen = plan();
    const QString problem = survey::planProblem(chosen);
    if (!problem.isEmpty()) {
        showWarning(this, problem + QStringLiteral("\rОбзор не начат."));
        return;
    }
    GridHits->setRowCount(0);
    m_notes.clear();
    StaticTextNotes->clear();
    StaticTextNotes->hide();
    ProgressBar1->setValue(0);
    m_startedMs = QDateTime::currentMSecsSinceEpoch();
    // A network port connects with the window live: "Стоп" ends the wait.
    setRunning(true);
    StaticTextProgress->setText(QStringLiteral("Открытие порта..."));
    try {
        m_survey->start(chosen);
    } catch (const EVaCommError &error) {
        setRunning(false);
        StaticTextProgress->clear();
        // As the search says it: the component's text, then what to do about it.
        if (error.failure() != EVaCommError::Failure::Cancelled)
            showError(this, OpenFailureMessage(error));
        return;
    } catch (...) {
        setRunning(false);
        StaticTextProgress->clear();
        throw;
    }
    setRunning(m_survey->isRunning());
}

void TFSurvey::BitBtnStopClick()
{
    m_survey->stop();
}

void TFSurvey::addRow(const SurveyHit &hit)
{
    const int row = GridHits->rowCount();
    GridHits->insertRow(row);
    const QLocale locale;
    for (int column = 0; column < survey::ColumnCount; ++column) {
        auto *item = new QTableWidgetItem(survey::columnText(hit, column, locale));
        if (column == survey::ColumnAddress || column == survey::ColumnRate || column == survey::ColumnResponse)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        GridHits->setItem(row, column, item);
    }
    if (row == 0)
        GridHits->selectRow(0);
}

void TFSurvey::showProgress(const Survey::Progress &progress)
{
    ProgressBar1->setValue(static_cast<int>(progress.fraction * ProgressBar1->maximum()));
    const QString where = progress.address == 0 ? QStringLiteral("адрес 0 (счетчик)")
                                                : QStringLiteral("адрес %1").arg(progress.address);
    StaticTextProgress->setText(QStringLiteral("%1 бит/с, четность: %2, %3 · найдено: %4 · осталось около %5")
                                    .arg(QString::number(progress.line.baudRate),
                                         survey::parityText(progress.line.parity), where,
                                         QString::number(progress.found), survey::durationText(progress.leftMs)));
}

void TFSurvey::noteRefused(const LineSettings &line, const QString &reason)
{
    m_notes << QStringLiteral("Порт не принял %1 бит/с, четность %2 (%3): пропущено.")
                   .arg(QString::number(line.baudRate), survey::parityText(line.parity), reason);
    StaticTextNotes->setText(m_notes.join(QLatin1Char('\n')));
    StaticTextNotes->show();
}

void TFSurvey::onFinished(const Survey::End &end)
{
    setRunning(false);
    const QString took = survey::durationText(double(QDateTime::currentMSecsSinceEpoch() - m_startedMs));
    const QString found = QString::number(GridHits->rowCount());
    switch (end.how) {
    case Survey::End::How::Completed:
        ProgressBar1->setValue(ProgressBar1->maximum());
        StaticTextProgress->setText(QStringLiteral("Обзор завершен за %1 · найдено устройств: %2").arg(took, found));
        break;
    case Survey::End::How::FirstFound:
        StaticTextProgress->setText(QStringLiteral("Обзор остановлен на первом найденном устройстве (%1)").arg(took));
        break;
    case Survey::End::How::Stopped:
        StaticTextProgress->setText(QStringLiteral("Обзор остановлен через %1 · найдено устройств: %2").arg(took, found));
        break;
    case Survey::End::How::Failed:
        StaticTextProgress->setText(QStringLiteral("Обзор прерван · найдено устройств: %1").arg(found));
        showError(this, end.error);
        break;
    }
}

void TFSurvey::BitBtnOpenClick()
{
    openRow(GridHits->currentRow());
}

void TFSurvey::GridHitsDoubleClick(int row)
{
    openRow(row);
}

void TFSurvey::openRow(int row)
{
    if (m_survey->isRunning() || row < 0 || row >= m_survey->hits().size())
        return;
    // A copy: the table may be started afresh while the device window is open.
    const FoundDevice found = m_survey->hits().at(row).found;
    m_host.openSurveyed(found);
    // Back in front with the results, as before the device window.
    show();
    raise();
    activateWindow();
}

void TFSurvey::BitBtnSaveCsvClick()
{
    const QString proposed = QDir::current().filePath(
        StampedFileName(QStringLiteral("survey"), QDateTime::currentDateTime(), QStringLiteral("csv")));
    const QString path = dialogs().saveFileName(this, QStringLiteral("Сохранение результатов обзора..."),
                                                QStringLiteral("Таблица CSV (*.csv)"), proposed, QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteWholeFile(path, survey::csvBytes(m_survey->hits()), &error))
        showError(this, QStringLiteral("Не удалось сохранить файл %1:\r%2").arg(path, error));
}

void TFSurvey::closeEvent(QCloseEvent *event)
{
    const bool connecting = m_host.channel().port().Opening();
    m_survey->stop();
    if (connecting) {
        // The survey's wait for the port is still running under this event: the
        // window (deleted on close) goes once that wait has returned.
        event->ignore();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    QWidget::closeEvent(event);
}
